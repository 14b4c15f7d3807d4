# The start sequence and the file choosers.
paddock_add_test(tst_startsequence SOURCES tst_startsequence.cpp)
# The same road with the real file dialog, typed into as a user would.
paddock_add_test(tst_startsequence_e2e SOURCES tst_startsequence_e2e.cpp)
