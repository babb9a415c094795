// A program for the launch tests: writes how it was started into the file
// named by its one argument: the command line, then the start-up flags, the
// show state and the priority class, one per line. The file appears whole
// (written beside it, then renamed), so a test can wait for it.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::string text = std::string(GetCommandLineA()) + "\n" + std::to_string(startup.dwFlags) + "\n" +
                       std::to_string(startup.wShowWindow) + "\n" +
                       std::to_string(GetPriorityClass(GetCurrentProcess())) + "\n";
    std::string partial = std::string(argv[1]) + ".part";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileA(partial.c_str(), argv[1]) ? 0 : 1;
}
