// The GUI-thread end of the frame animator thread: a hidden message window that turns
// the thread's posted messages into notification passes on the GUI thread. One window
// serves every animator thread of the process, so a thread that ends itself never has to
// destroy a window of another thread; it lives from GDI+ start-up to shutdown.
#pragma once

namespace imaging {

// Creates the window on the calling (GUI) thread and makes the animator threads post to
// it. Called by GDI+ start-up.
void InstallAnimatorWindow();
// Destroys the window (after the animator thread is gone). Called by GDI+ shutdown.
void ReleaseAnimatorWindow();

}  // namespace imaging
