#include "app/StartUp.h"

#include <windows.h>

#include "app/GpuStatus.h"
#include "app/StdOutput.h"

bool GoesOnRunning(CCommandLine& command, CSingleInstance& instance, int& exitCode)
{
    exitCode = kExitDone;
    if (!command.Parse(::GetCommandLineW())) {
        exitCode = kExitBadCommandLine;
        WriteOutput(command.Error());
        return false;
    }
    if (command.Has(CCommandLine::kHelp)) {
        WriteOutput(CCommandLine::HelpText());
        return false;
    }
    std::string text;
    bool runs = instance.Claim(command, exitCode, text);
    if (runs && command.Has(CCommandLine::kStatus)) {
        exitCode = WriteGpuStatus(text);
        runs = false;
    } else if (runs && command.Has(CCommandLine::kExit)) {
        runs = false;  // no copy runs that could end
    }
    if (!text.empty()) WriteOutput(text);
    return runs;
}

bool RegisterForRestart() { return SUCCEEDED(::RegisterApplicationRestart(kRestartArguments, kRestartFlags)); }
