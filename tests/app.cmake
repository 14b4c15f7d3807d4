# The desktop application: wiring, windows, status, preferences.
paddock_add_test(tst_app SOURCES tst_app.cpp LIBRARIES paddock_app)
# Quitting poisons every later event loop of the process, so it has a program of its own.
paddock_add_test(tst_appquit SOURCES tst_appquit.cpp LIBRARIES paddock_app)
