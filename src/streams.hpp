#pragma once

// Puts std::cin and std::cout on askname's own stream buffers, for as long
// as the process runs: on POSIX systems over descriptors 0 and 1
// (streams_posix.cpp), on Windows at a console over the console's own calls
// (console_windows.cpp).  Windows files and pipes stay with the C runtime.
// The buffers are statics made after the standard streams, so destroyed
// before the streams' final flush at exit; they give the streams their own
// buffers back as they go, with all they held written.
void own_streams();
