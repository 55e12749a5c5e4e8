# Sources of pages/ (see the top-level CMakeLists.txt).
