// The window and its jobs join this library.
