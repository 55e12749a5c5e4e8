# Sources of probe/ (see the top-level CMakeLists.txt).
