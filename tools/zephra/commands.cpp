#include "tools/zephra/commands.h"

#include "editor/binding/plaquet.h"
#include "editor/binding/widgetrules.h"
#include "platform/com/runtime.h"
#include "platform/text/pathutil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr const char* kLibraryName = "PlaquetZephra.so";

// Ends a command: exit status and the text for stderr (without the "zephra: " prefix).
struct CToolError {
    int m_nExit;
    std::string m_strText;
    bool m_bHelpHint = false; // point at the command's --help
};

[[noreturn]] void Fail(std::string text) {
    throw CToolError{kExitFailure, std::move(text)};
}

[[noreturn]] void UsageError(std::string text) {
    throw CToolError{kExitUsage, std::move(text), true};
}

// A refused value, told with the editor's own message.
[[noreturn]] void RefusedValue(std::string_view message) {
    throw CToolError{kExitUsage, std::string(message), false};
}

// The command line has no message box: what the binding says is kept and put into the one line
// that reports the failure.
class CCollectingPrompt : public IPrompt {
public:
    void Message(const std::string& text) override {
        if (!m_strText.empty())
            m_strText += "; ";
        m_strText += text;
    }
    std::string Take() { return std::exchange(m_strText, std::string()); }

private:
    std::string m_strText;
};

// What a running command works on, for the failure line of an automation error.
struct CContext {
    std::string m_strCommand;
    std::string m_strSubject;
};

// ---- arguments ----

struct COptionRule {
    const char* pszName; // "--web"
    bool bTakesValue;
};

struct CParsedArguments {
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_values; // options given, with their values
    bool m_bHelp = false;

    bool Has(const std::string& option) const { return m_values.count(option) != 0; }
    std::string Value(const std::string& option, std::string def = {}) const {
        const auto it = m_values.find(option);
        return it == m_values.end() ? std::move(def) : it->second;
    }
};

// Options may come anywhere, as "--name value" or "--name=value"; "--" ends them. A later
// option replaces an earlier one of the same name.
// required names the positional arguments that must be there, in order; maxPositional counts
// the optional ones too.
CParsedArguments ParseArguments(const CArguments& args, std::initializer_list<COptionRule> rules,
                                std::initializer_list<const char*> required, size_t maxPositional) {
    CParsedArguments parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.m_positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.m_bHelp = true;
            return parsed;
        }
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const COptionRule* rule = nullptr;
        for (const COptionRule& s : rules) {
            if (name == s.pszName)
                rule = &s;
        }
        if (rule == nullptr)
            UsageError("unknown option '" + name + "'");
        if (!rule->bTakesValue) {
            if (eq != std::string::npos)
                UsageError("option '" + name + "' takes no value");
            parsed.m_values[name].clear();
        } else if (eq != std::string::npos) {
            parsed.m_values[name] = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            parsed.m_values[name] = args[++i];
        } else {
            UsageError("option '" + name + "' needs a value");
        }
    }
    if (parsed.m_positional.size() < required.size())
        UsageError(std::string("missing ") + required.begin()[parsed.m_positional.size()]);
    if (parsed.m_positional.size() > maxPositional)
        UsageError("unexpected argument '" + parsed.m_positional[maxPositional] + "'");
    return parsed;
}

// ---- files ----

// The full path the component gets: it takes the folder of a path as the folder of the file.
std::string FullPath(const std::string& path) {
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// Why a file cannot be read, as far as the file system tells.
std::string ReadFailureCause(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (::access(path.c_str(), R_OK) != 0)
        return std::strerror(errno);
    return "cannot be opened";
}

// Why a file cannot be created at path, as far as the file system tells.
std::string WriteFailureCause(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return std::strerror(EISDIR);
    const std::string folder = FolderPart(path).empty() ? "/" : FolderPart(path);
    if (::stat(folder.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return std::strerror(ENOTDIR);
    if (::access(folder.c_str(), W_OK) != 0)
        return std::strerror(errno);
    return "cannot be created";
}

// ---- widget steps, as the editor's document takes them ----

std::unique_ptr<CPlaquet> Bind(CCollectingPrompt& prompt, const std::string& subject) {
    auto widget = std::make_unique<CPlaquet>(prompt);
    if (widget->CreateFromProgID(kPlaquetProgID))
        return widget;
    const HRESULT hr = widget->BindResult();
    const std::string said = prompt.Take();
    std::string cause;
    if (hr == CO_E_CLASSSTRING) {
        cause = std::string(kPlaquetProgID) + " is not registered; run 'zephra register'";
    } else {
        cause = DescribeHResult(hr);
        const std::string detail = CoGetLastErrorText();
        if (!detail.empty())
            cause += ": " + detail;
    }
    Fail(subject + ": " + (said.empty() ? CreateDispatchErrorMessage(kPlaquetProgID) : said) +
         " (" + cause + ")");
}

// Reads a widget file and refuses files of other components.
void OpenWidget(CPlaquet& widget, const std::string& path) {
    const std::string full = FullPath(path);
    if (!widget.ReadConfigFile(full))
        Fail(OpenErrorMessage(path) + " (" + ReadFailureCause(full) + ")");
    if (widget.GetProgID() != kPlaquetProgID)
        Fail(path + ": " + NotSavedByMessage());
}

// Stamps the widget and has the component write it (copying its support files beside it).
void SaveWidget(CPlaquet& widget, const std::string& path) {
    const std::string full = FullPath(path);
    widget.SetProgID(std::string(kPlaquetProgID));
    widget.SetLastUpdateTime(CurrentLocalDate());
    if (!widget.WriteConfigFile(full))
        Fail(SaveErrorMessage(path) + " (" + WriteFailureCause(full) + ")");
}

void WriteOut(const std::string& text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        Fail(std::string("standard output: ") + std::strerror(errno));
}

void FlushOut() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        Fail(std::string("standard output: ") + std::strerror(errno));
}

// Runs body with the command's error handling: prints the one failure line and gives the exit
// status.
int Guard(const char* command, const std::function<void(CContext&)>& body) {
    CContext context{command, {}};
    try {
        body(context);
        FlushOut();
        return kExitSuccess;
    } catch (const CToolError& e) {
        std::string text = e.m_nExit == kExitUsage
                               ? "zephra " + context.m_strCommand + ": " + e.m_strText
                               : "zephra: " + e.m_strText;
        if (text.empty() || text.back() != '\n')
            text += '\n';
        if (e.m_bHelpHint) {
            text.pop_back();
            text += " (try 'zephra " + context.m_strCommand + " --help')\n";
        }
        std::fputs(text.c_str(), stderr);
        return e.m_nExit;
    } catch (const CBindingException& e) {
        std::fprintf(stderr, "zephra: %s: %s\n", context.m_strSubject.c_str(), e.what());
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zephra: %s: out of memory\n", context.m_strSubject.c_str());
        return kExitFailure;
    }
}

bool ShowHelp(const CParsedArguments& parsed, const char* command) {
    if (!parsed.m_bHelp)
        return false;
    std::fputs(FindCommand(command)->pszHelp, stdout);
    return true;
}

// ---- commands ----

std::string DefaultLibraryPath() {
    static const int anchor = 0;
    return ModuleFolderOf(&anchor) + kLibraryName;
}

int RunRegistration(const CArguments& args, bool unregister) {
    const char* command = unregister ? "unregister" : "register";
    return Guard(command, [&](CContext& context) {
        const CParsedArguments parsed = ParseArguments(args, {}, {}, 1);
        if (ShowHelp(parsed, command))
            return;
        const std::string library =
            parsed.m_positional.empty() ? DefaultLibraryPath() : FullPath(parsed.m_positional[0]);
        context.m_strSubject = library;
        const HRESULT hr =
            unregister ? UnregisterServerLibrary(library) : RegisterServerLibrary(library);
        if (FAILED(hr)) {
            std::string text = library + ": " +
                               (unregister ? "DllUnregisterServer" : "DllRegisterServer") +
                               " failed: " + DescribeHResult(hr);
            const std::string detail = CoGetLastErrorText();
            if (!detail.empty())
                text += " (" + detail + ")";
            Fail(text);
        }
    });
}

} // namespace

int RunRegister(const CArguments& args) {
    return RunRegistration(args, false);
}

int RunUnregister(const CArguments& args) {
    return RunRegistration(args, true);
}

int RunNew(const CArguments& args) {
    return Guard("new", [&](CContext& context) {
        const CParsedArguments parsed =
            ParseArguments(args, {{"--template", true}, {"--title", true}, {"--description", true}},
                           {"OUT.wgt"}, 1);
        if (ShowHelp(parsed, "new"))
            return;
        const std::string out = parsed.m_positional[0];
        const std::string title = parsed.Value("--title", std::string(kDefaultWidgetTitle));
        const std::string description = parsed.Value("--description");
        const std::string_view nameError = WidgetNameError(title);
        if (!nameError.empty())
            RefusedValue(nameError);

        CCollectingPrompt prompt;
        context.m_strSubject = out;
        std::unique_ptr<CPlaquet> widget = Bind(prompt, out);
        if (parsed.Has("--template")) {
            const std::string wanted = parsed.Value("--template");
            std::string templatePath;
            {
                // Listing leaves its component holding the last file it read: use another one.
                context.m_strSubject = "templates";
                std::unique_ptr<CPlaquet> lister = Bind(prompt, out);
                const CTemplateList list = lister->ListTemplates();
                for (size_t i = 0; i < list.m_titles.size() && templatePath.empty(); ++i) {
                    if (list.m_titles[i] == wanted)
                        templatePath = list.m_paths[i];
                }
                if (templatePath.empty())
                    Fail(out + ": no template titled '" + wanted + "' in " +
                         lister->ComponentFolder() + " (see 'zephra templates')");
            }
            context.m_strSubject = templatePath;
            if (!widget->ReadConfigFile(templatePath))
                Fail(OpenErrorMessage(templatePath) + " (" + ReadFailureCause(templatePath) + ")");
        }
        context.m_strSubject = out;
        widget->SetTitle(title);
        widget->SetDescription(description);
        widget->SetPreviewPath("");
        SaveWidget(*widget, out);
    });
}

int RunHtml(const CArguments& args) {
    return Guard("html", [&](CContext& context) {
        const CParsedArguments parsed =
            ParseArguments(args, {{"--web", false}, {"--preview-path", true}}, {"FILE.wgt"}, 1);
        if (ShowHelp(parsed, "html"))
            return;
        const std::string file = parsed.m_positional[0];
        CCollectingPrompt prompt;
        context.m_strSubject = file;
        std::unique_ptr<CPlaquet> widget = Bind(prompt, file);
        OpenWidget(*widget, file);
        if (parsed.Has("--preview-path"))
            widget->SetPreviewPath(NormalizePreviewPath(parsed.Value("--preview-path")));
        WriteOut(widget->GetHTMLBody(0, parsed.Has("--web") ? kHtmlFormWeb : kHtmlFormLocal));
    });
}

int RunSave(const CArguments& args) {
    return Guard("save", [&](CContext& context) {
        const CParsedArguments parsed = ParseArguments(args, {}, {"FILE.wgt", "OUT.wgt"}, 2);
        if (ShowHelp(parsed, "save"))
            return;
        const std::string file = parsed.m_positional[0];
        const std::string out = parsed.m_positional[1];
        CCollectingPrompt prompt;
        context.m_strSubject = file;
        std::unique_ptr<CPlaquet> widget = Bind(prompt, file);
        OpenWidget(*widget, file);
        context.m_strSubject = out;
        SaveWidget(*widget, out);
    });
}

int RunResources(const CArguments& args) {
    return Guard("resources", [&](CContext& context) {
        const CParsedArguments parsed = ParseArguments(args, {}, {"FILE.wgt"}, 1);
        if (ShowHelp(parsed, "resources"))
            return;
        const std::string file = parsed.m_positional[0];
        CCollectingPrompt prompt;
        context.m_strSubject = file;
        std::unique_ptr<CPlaquet> widget = Bind(prompt, file);
        OpenWidget(*widget, file);
        // The editor's view shows the list after generating the page body, which rebuilds it
        // from the widget (files gone from the disk drop out).
        for (int16_t i = 0; i < widget->GetHTMLSegmentNumber(); ++i) {
            const std::string position = widget->GetHTMLPosition(i);
            if (position == "cursor" || position == "style" || position == "script")
                widget->GetHTMLBody(i, kHtmlFormLocal);
        }
        for (int16_t i = 0; i < widget->GetResourceNumber(); ++i) {
            WriteOut(widget->GetResourceName(i) + '\t' + widget->GetResourceLocalPath(i) + '\t' +
                     widget->GetResourceWebPath(i) + '\n');
        }
    });
}

int RunTemplates(const CArguments& args) {
    return Guard("templates", [&](CContext& context) {
        const CParsedArguments parsed = ParseArguments(args, {}, {}, 0);
        if (ShowHelp(parsed, "templates"))
            return;
        CCollectingPrompt prompt;
        context.m_strSubject = "templates";
        std::unique_ptr<CPlaquet> lister = Bind(prompt, "templates");
        const CTemplateList list = lister->ListTemplates();
        for (size_t i = 0; i < list.m_titles.size(); ++i)
            WriteOut(list.m_titles[i] + '\t' + list.m_descriptions[i] + '\t' + list.m_paths[i] +
                     '\n');
    });
}

const std::vector<CCommand>& Commands() {
    static const std::vector<CCommand> commands = {
        {"register", RunRegister, "register [LIBRARY]", "register the component",
         "Usage: zephra register [LIBRARY]\n"
         "\n"
         "Registers the component library (default: PlaquetZephra.so beside zephra) by calling\n"
         "its DllRegisterServer. Registering again rewrites the entries; it is safe to repeat.\n"},
        {"unregister", RunUnregister, "unregister [LIBRARY]", "remove its registration",
         "Usage: zephra unregister [LIBRARY]\n"
         "\n"
         "Removes the registration of the component library (default: PlaquetZephra.so beside\n"
         "zephra) by calling its DllUnregisterServer.\n"},
        {"new", RunNew, "new OUT.wgt [--template NAME] [--title NAME] [--description TEXT]",
         "write a new widget",
         "Usage: zephra new OUT.wgt [--template NAME] [--title NAME] [--description TEXT]\n"
         "\n"
         "Writes a new widget to OUT.wgt: the template titled NAME (see 'zephra templates'), or\n"
         "the component's defaults, with the given title (default \"Normal\"; letters A-Z, a-z\n"
         "and digits only) and description. The template's support files are copied beside\n"
         "OUT.wgt.\n"},
        {"html", RunHtml, "html FILE.wgt [--web] [--preview-path TEXT]", "print its HTML block",
         "Usage: zephra html FILE.wgt [--web] [--preview-path TEXT]\n"
         "\n"
         "Prints the HTML block that puts the widget on a page, exactly as the component writes\n"
         "it. Local form by default: the code base and every file go through the widget's\n"
         "preview path (--preview-path replaces it for this run; '\\' becomes '/' and a '/' is\n"
         "added). --web prints the form for the published page, through the files' web paths.\n"},
        {"save", RunSave, "save FILE.wgt OUT.wgt", "save it elsewhere, with its files",
         "Usage: zephra save FILE.wgt OUT.wgt\n"
         "\n"
         "Saves the widget in FILE.wgt as OUT.wgt, copying its support files beside OUT.wgt.\n"
         "A support file whose name is taken there by another file is copied under a new name\n"
         "(name-2.gif, ...); nothing is overwritten.\n"},
        {"resources", RunResources, "resources FILE.wgt", "list its support files",
         "Usage: zephra resources FILE.wgt\n"
         "\n"
         "Lists the support files the widget needs, one per line: file name, local folder and\n"
         "web path, separated by tabs.\n"},
        {"templates", RunTemplates, "templates", "list the installed templates",
         "Usage: zephra templates\n"
         "\n"
         "Lists the templates installed with the component, one per line: title, description\n"
         "and path, separated by tabs.\n"},
    };
    return commands;
}

const CCommand* FindCommand(std::string_view name) {
    for (const CCommand& command : Commands()) {
        if (name == command.pszName)
            return &command;
    }
    return nullptr;
}
