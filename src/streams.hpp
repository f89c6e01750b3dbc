#pragma once

// Puts std::cin and std::cout on askname's own stream buffers, for as long
// as the process runs: on POSIX systems over descriptors 0 and 1
// (streams_posix.cpp), on Windows at a console over the console's own calls
// (console_windows.cpp).  Windows files and pipes stay with the C runtime.
void own_streams();
