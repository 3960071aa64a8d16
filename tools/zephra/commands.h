#pragma once
// The commands of the zephra command line. Each takes the arguments after its name and returns
// the exit status: 0 success, 1 failure (one line on stderr naming the file and the cause),
// 2 usage error. COM is initialised by the caller.

#include <string>
#include <string_view>
#include <vector>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using CArguments = std::vector<std::string>;

int RunRegister(const CArguments& args);
int RunUnregister(const CArguments& args);
int RunNew(const CArguments& args);
int RunHtml(const CArguments& args);
int RunSave(const CArguments& args);
int RunResources(const CArguments& args);
int RunTemplates(const CArguments& args);

// The command of a name, or null.
struct CCommand {
    const char* pszName;
    int (*pfnRun)(const CArguments& args);
    const char* pszSynopsis; // "new OUT.wgt [--template NAME] ..."
    const char* pszPurpose;  // a few words for the tool's help
    const char* pszHelp;     // the command's own help text
};
const CCommand* FindCommand(std::string_view name);
// Every command, in the order the tool's help lists them.
const std::vector<CCommand>& Commands();
