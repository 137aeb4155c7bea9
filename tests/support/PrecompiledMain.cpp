// Nothing of its own: the target exists to compile the suites' shared
// precompiled header once (tests/CMakeLists.txt).
