// Replaced by the startup dialog and the main window.
