paddock_add_test(tst_naming SOURCES tst_naming.cpp)
