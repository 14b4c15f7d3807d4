# The server output log: reading the pipes, the log text, the log view.
paddock_add_test(tst_outputlog SOURCES tst_outputlog.cpp)
paddock_add_test(tst_logview SOURCES tst_logview.cpp LIBRARIES paddock_app)
