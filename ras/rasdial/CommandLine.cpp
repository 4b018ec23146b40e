#include "ras/rasdial/CommandLine.h"

#include "ras/service/AnsiText.h"

#include "base/AsciiCase.h"

#include <charconv>
#include <map>
#include <set>

const char* const kRasdialUsage =
    "Usage:\n"
    "  rasdial                          list the connections\n"
    "  rasdial ENTRY [options]          dial ENTRY\n"
    "      --connect-after SECONDS      time until connected (default 5)\n"
    "      --state CODE                 report this state (number or RASCS_ name) until hang-up\n"
    "      --error CODE                 error code the connection's status carries\n"
    "      --linger SECONDS             time it stays listed after hang-up (default 2)\n"
    "  rasdial ENTRY /DISCONNECT [--linger SECONDS]\n"
    "                                   hang up ENTRY (also /d or --disconnect)\n"
    "  rasdial --phonebook              list the phonebook entries\n"
    "  rasdial --add ENTRY [--device NAME] [--type modem|isdn] [--speed BPS] [--phone NUMBER]\n"
    "  rasdial --remove ENTRY\n"
    "  rasdial --help\n"
    "Any command: --wait SECONDS        how long to wait while another process holds the\n"
    "                                   service's lock (default 10)\n"
    "Use -- before an entry name that begins with - or /.\n";

namespace {

const std::set<std::string> kValueOptions = {
    "--connect-after",
    "--state",
    "--error",
    "--linger",
    "--device",
    "--type",
    "--speed",
    "--phone",
    "--add",
    "--remove",
    "--wait",
};

// An argument as the user typed it, for a message.
std::string Shown(const std::string& utf8)
{
    return ReadableUtf8(utf8);
}

std::string ToAnsi(const std::string& utf8)
{
    std::optional<std::string> ansi = Utf8ToAnsi(utf8);
    if (!ansi)
        throw ERasdialUsage("\"" + Shown(utf8) + "\" cannot be written in the Windows-1252 code page");
    return *ansi;
}

template <typename T>
T ParseNumber(const std::string& option, const std::string& text)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '-' || ec != std::errc() || end != text.data() + text.size())
        throw ERasdialUsage(Shown(option) + " needs a whole number, not \"" + Shown(text) + "\"");
    return value;
}

// Seconds with up to three decimals, as milliseconds.
int64_t ParseSeconds(const std::string& option, const std::string& text)
{
    size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string fraction = dot == text.npos ? "" : text.substr(dot + 1);
    bool ok = !whole.empty() && fraction.size() <= 3 && (dot == text.npos || !fraction.empty()) &&
        whole.find_first_not_of("0123456789") == whole.npos &&
        fraction.find_first_not_of("0123456789") == fraction.npos;
    int64_t seconds = 0;
    if (ok) {
        auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
        ok = ec == std::errc() && seconds <= kMaxDurationMs / 1000;
    }
    if (!ok)
        throw ERasdialUsage(Shown(option) + " needs a number of seconds, not \"" + Shown(text) + "\"");
    fraction.resize(3, '0');
    return seconds * 1000 + std::stoi(fraction);
}

int32_t ParseState(const std::string& text)
{
    std::optional<int32_t> state = RasConnStateFromName(text);
    if (!state && !text.empty() && text.find_first_not_of("0123456789") == text.npos)
        state = ParseNumber<int32_t>("--state", text);
    if (!state || !RasConnStateName(*state))
        throw ERasdialUsage("\"" + Shown(text) + "\" is not a connection state");
    return *state;
}

// Switches in the Windows manner (/d) compare without regard to case, like the long ones.
bool IsDisconnect(const std::string& arg)
{
    return SameIgnoringAsciiCase(arg, "/d") || SameIgnoringAsciiCase(arg, "/disconnect") ||
        SameIgnoringAsciiCase(arg, "--disconnect");
}

bool IsHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h" || arg == "/?";
}

// A name rather than an option: after "--", an empty word, a lone "-", anything not
// beginning with - or /.
bool IsPositional(const std::string& arg, bool endOfOptions)
{
    return endOfOptions || arg.empty() || arg == "-" || (arg[0] != '-' && arg[0] != '/');
}

// "--name=value": cuts the value off the argument.
std::optional<std::string> TakeInlineValue(std::string& arg)
{
    const size_t eq = arg.find('=');
    if (!arg.starts_with("--") || eq == arg.npos)
        return std::nullopt;
    std::string value = arg.substr(eq + 1);
    arg.resize(eq);
    return value;
}

// The arguments sorted by kind, before any of them is interpreted.
struct TArguments {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Options; // the options that take a value
    bool Disconnect = false, Phonebook = false, Help = false;
};

// Unknown options, missing or repeated values and values given to switches are refused in
// the order they appear.
TArguments SortArguments(const std::vector<std::string>& args)
{
    TArguments sorted;
    bool endOfOptions = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (IsPositional(arg, endOfOptions)) {
            sorted.Positional.push_back(arg);
            continue;
        }
        const std::optional<std::string> inlineValue = TakeInlineValue(arg);
        if (arg == "--") {
            endOfOptions = true;
        } else if (IsHelp(arg)) {
            sorted.Help = true;
        } else if (arg == "--phonebook") {
            sorted.Phonebook = true;
        } else if (IsDisconnect(arg)) {
            sorted.Disconnect = true;
        } else if (kValueOptions.contains(arg)) {
            if (!inlineValue && i + 1 >= args.size())
                throw ERasdialUsage(Shown(arg) + " needs a value");
            if (sorted.Options.contains(arg))
                throw ERasdialUsage(Shown(arg) + " is given twice");
            sorted.Options[arg] = inlineValue ? *inlineValue : args[++i];
        } else {
            throw ERasdialUsage("Unknown option " + Shown(arg));
        }
        if (inlineValue && !kValueOptions.contains(arg))
            throw ERasdialUsage(Shown(arg) + " takes no value");
    }
    return sorted;
}

// What the arguments ask for; refuses a command line that asks for two things at once.
TRasdialAction ChooseAction(const TArguments& arguments)
{
    const bool add = arguments.Options.contains("--add"), remove = arguments.Options.contains("--remove");
    if (int(add) + int(remove) + int(arguments.Phonebook) + int(arguments.Disconnect) > 1)
        throw ERasdialUsage("--add, --remove, --phonebook and /DISCONNECT cannot be combined");
    if ((add || remove || arguments.Phonebook) && !arguments.Positional.empty())
        throw ERasdialUsage("Unexpected argument \"" + Shown(arguments.Positional[0]) + "\"");
    if (arguments.Positional.size() > 1)
        throw ERasdialUsage("Unexpected argument \"" + Shown(arguments.Positional[1]) + "\"");
    if (add)
        return TRasdialAction::raAdd;
    if (remove)
        return TRasdialAction::raRemove;
    if (arguments.Phonebook)
        return TRasdialAction::raPhonebook;
    if (arguments.Positional.empty()) {
        if (arguments.Disconnect)
            throw ERasdialUsage("/DISCONNECT needs the name of the entry to hang up");
        return TRasdialAction::raList;
    }
    return arguments.Disconnect ? TRasdialAction::raHangUp : TRasdialAction::raDial;
}

// The options given, checked against those the chosen action accepts.
void CheckOptions(
    const std::map<std::string, std::string>& options, const std::set<std::string>& allowed, const char* action)
{
    for (const auto& [name, value] : options)
        if (!allowed.contains(name))
            throw ERasdialUsage(Shown(name) + " cannot be used " + action);
}

void FillNewEntry(TRasdialCommand& command, const std::map<std::string, std::string>& options)
{
    TPhonebookEntry& entry = command.NewEntry;
    entry.Name = command.Entry;
    entry.DeviceType = "modem";
    if (options.contains("--type")) {
        const std::string& type = options.at("--type");
        if (!SameIgnoringAsciiCase(type, "modem") && !SameIgnoringAsciiCase(type, "isdn"))
            throw ERasdialUsage("--type must be modem or isdn, not \"" + Shown(type) + "\"");
        entry.DeviceType = SameIgnoringAsciiCase(type, "isdn") ? "isdn" : "modem";
    }
    bool isdn = entry.DeviceType == "isdn";
    entry.DeviceName = options.contains("--device") ? ToAnsi(options.at("--device"))
        : isdn                                      ? "AVM ISDN Controller"
                                                    : "Standard 56000 bps Modem";
    entry.Speed = options.contains("--speed") ? ParseNumber<uint32_t>("--speed", options.at("--speed"))
        : isdn                                ? 64000
                                              : 56000;
    if (options.contains("--phone"))
        entry.PhoneNumber = ToAnsi(options.at("--phone"));
}

// The entry and options of the chosen action, each checked against what that action accepts.
void ReadActionOptions(TRasdialCommand& command, const TArguments& arguments)
{
    const std::map<std::string, std::string>& options = arguments.Options;
    switch (command.Action) {
    case TRasdialAction::raAdd:
        CheckOptions(options, {"--add", "--device", "--type", "--speed", "--phone"}, "with --add");
        command.Entry = ToAnsi(options.at("--add"));
        FillNewEntry(command, options);
        break;
    case TRasdialAction::raRemove:
        CheckOptions(options, {"--remove"}, "with --remove");
        command.Entry = ToAnsi(options.at("--remove"));
        break;
    case TRasdialAction::raPhonebook:
        CheckOptions(options, {}, "with --phonebook");
        break;
    case TRasdialAction::raList:
        CheckOptions(options, {}, "without an entry to dial");
        break;
    case TRasdialAction::raHangUp:
        CheckOptions(options, {"--linger"}, "when hanging up");
        command.Entry = ToAnsi(arguments.Positional[0]);
        if (options.contains("--linger"))
            command.LingerMs = ParseSeconds("--linger", options.at("--linger"));
        break;
    case TRasdialAction::raDial:
        CheckOptions(options, {"--connect-after", "--state", "--error", "--linger"}, "when dialling");
        command.Entry = ToAnsi(arguments.Positional[0]);
        if (options.contains("--connect-after"))
            command.Dial.ConnectAfterMs = ParseSeconds("--connect-after", options.at("--connect-after"));
        if (options.contains("--state"))
            command.Dial.PinnedState = ParseState(options.at("--state"));
        if (options.contains("--error"))
            command.Dial.Error = ParseNumber<uint32_t>("--error", options.at("--error"));
        if (options.contains("--linger"))
            command.Dial.LingerMs = ParseSeconds("--linger", options.at("--linger"));
        break;
    case TRasdialAction::raHelp:
        break;
    }
}

} // namespace

TRasdialCommand ParseCommandLine(const std::vector<std::string>& args)
{
    const TArguments arguments = SortArguments(args);
    TRasdialCommand command;
    // Help wins over anything else on the line, even over a combination that is refused.
    if (arguments.Help) {
        command.Action = TRasdialAction::raHelp;
        return command;
    }
    command.Action = ChooseAction(arguments);
    TArguments forAction = arguments;
    if (auto wait = forAction.Options.extract("--wait"))
        command.LockWaitMs = ParseSeconds("--wait", wait.mapped());
    ReadActionOptions(command, forAction);
    return command;
}
