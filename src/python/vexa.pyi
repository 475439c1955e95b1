# stubs follow
