// karvel-utility.com: what a console runs when "karvel-utility" is typed there, since Windows
// tries .com before .exe. karvel-utility.exe is a windowed program, so that starting it from
// the Start menu or Explorer opens no console, and a console does not wait for such a
// program. This one does: it runs karvel-utility.exe from its own folder with the same
// arguments and the console's standard handles, waits for it, and ends with its exit status,
// so the output comes before the next prompt and scripts see the status.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    std::wstring program(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()))) ==
           program.size())
        program.resize(program.size() * 2);
    program.resize(length);
    program.replace(program.size() - 4, 4, L".exe");
    // The command line as typed, so the program names itself as the user called it.
    std::wstring commandLine = GetCommandLineW();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"%ls could not be started (error %lu)\n", program.c_str(),
                      GetLastError());
        return 2;
    }
    // Ctrl+C reaches the utility through the console it attaches to; this one waits for it.
    SetConsoleCtrlHandler(nullptr, TRUE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    return int(status);
}
