# The start sequence and the file choosers.
paddock_add_test(tst_startsequence SOURCES tst_startsequence.cpp)
