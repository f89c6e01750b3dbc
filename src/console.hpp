#pragma once

// At a Windows console, puts std::cin and std::cout on the console's own
// calls (console_windows.cpp); elsewhere, and on files and pipes, nothing.
#ifdef _WIN32
void use_console();
#else
inline void use_console() {}
#endif
