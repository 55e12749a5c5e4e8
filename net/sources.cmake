# Sources of net/ (see the top-level CMakeLists.txt).
