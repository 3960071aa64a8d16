// zephra: drives the PlaquetZephra menu component from scripts and CI, without a display.

#include "platform/com/runtime.h"
#include "tools/zephra/commands.h"

#include <cstdio>
#include <string>

namespace {

void PrintToolHelp(std::FILE* out) {
    std::fputs("Usage: zephra COMMAND [ARGUMENTS]\n"
               "\n"
               "Drives the PlaquetZephra menu component without a display: registers it, writes\n"
               "new widgets from its templates, prints a widget's HTML and support files.\n"
               "\n"
               "Commands:\n",
               out);
    for (const CCommand& command : Commands())
        std::fprintf(out, "  %s\n      %s\n", command.pszSynopsis, command.pszPurpose);
    std::fputs("\n"
               "Run 'zephra COMMAND --help' for the arguments of a command.\n"
               "\n"
               "The registry is read from $ZEPHRA_REGISTRY_DIR, else\n"
               "$XDG_CONFIG_HOME/brimble-zephra/registry (~/.config/brimble-zephra/registry).\n"
               "Exit status: 0 success, 1 failure, 2 usage error.\n",
               out);
}

// Keeps COM initialised for the whole run; every object is released before it goes.
class CComScope {
public:
    CComScope() : m_hr(CoInitialize(nullptr)) {}
    ~CComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT m_hr;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("zephra: missing command (try 'zephra --help')\n", stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintToolHelp(stdout);
        return kExitSuccess;
    }
    const CCommand* command = FindCommand(name);
    if (command == nullptr) {
        std::fprintf(stderr, "zephra: unknown command '%s' (try 'zephra --help')\n", name.c_str());
        return kExitUsage;
    }
    const CArguments args(argv + 2, argv + argc);
    CComScope com;
    return command->pfnRun(args);
}
