#pragma once
// Shared by the dialog tests: the built setup.exe, loaded as a data file for
// its dialog templates.
#include <windows.h>

#include <string>

// The folder of the running test program, without a trailing backslash.
std::string testProgramDir();

// setup.exe from beside the test program, loaded as data (its resources
// only); released when the object goes.
class SetupModule {
public:
    SetupModule();
    ~SetupModule();
    SetupModule(const SetupModule&) = delete;
    SetupModule& operator=(const SetupModule&) = delete;

    HINSTANCE get() const { return module_; }

private:
    HINSTANCE module_;
};
