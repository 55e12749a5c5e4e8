# Sources of install/ (see the top-level CMakeLists.txt).
