#include "ras/rasdial/CommandLine.h"

#include "ras/service/AnsiText.h"

#include <algorithm>
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
    "Use -- before an entry name that begins with - or /.\n";

namespace {

const std::set<std::string> kValueOptions = {
    "--connect-after", "--state", "--error", "--linger", "--device",
    "--type", "--speed", "--phone", "--add", "--remove",
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return text;
}

QString Q(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

std::string ToAnsi(const std::string& utf8)
{
    std::optional<std::string> ansi = Utf8ToAnsi(utf8);
    if (!ansi)
        throw ERasdialUsage(QString("\"%1\" cannot be written in the Windows-1252 code page").arg(Q(utf8)));
    return *ansi;
}

template <typename T>
T ParseNumber(const std::string& option, const std::string& text)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '-' || ec != std::errc() || end != text.data() + text.size())
        throw ERasdialUsage(QString("%1 needs a whole number, not \"%2\"").arg(Q(option), Q(text)));
    return value;
}

// Seconds with up to three decimals, as milliseconds.
int64_t ParseSeconds(const std::string& option, const std::string& text)
{
    size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string fraction = dot == text.npos ? "" : text.substr(dot + 1);
    bool ok = !whole.empty() && fraction.size() <= 3 && (dot == text.npos || !fraction.empty())
              && whole.find_first_not_of("0123456789") == whole.npos
              && fraction.find_first_not_of("0123456789") == fraction.npos;
    int64_t seconds = 0;
    if (ok) {
        auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
        ok = ec == std::errc() && seconds <= kMaxDurationMs / 1000;
    }
    if (!ok)
        throw ERasdialUsage(QString("%1 needs a number of seconds, not \"%2\"").arg(Q(option), Q(text)));
    fraction.resize(3, '0');
    return seconds * 1000 + std::stoi(fraction);
}

int32_t ParseState(const std::string& text)
{
    std::optional<int32_t> state = RasConnStateFromName(text);
    if (!state && !text.empty() && text.find_first_not_of("0123456789") == text.npos)
        state = ParseNumber<int32_t>("--state", text);
    if (!state || !RasConnStateName(*state))
        throw ERasdialUsage(QString("\"%1\" is not a connection state").arg(Q(text)));
    return *state;
}

bool IsDisconnect(const std::string& arg)
{
    std::string lower = Lower(arg);
    return lower == "/d" || lower == "/disconnect" || lower == "--disconnect";
}

// The options given, checked against those the chosen action accepts.
void CheckOptions(const std::map<std::string, std::string>& options,
                  const std::set<std::string>& allowed, const char* action)
{
    for (const auto& [name, value] : options)
        if (!allowed.contains(name))
            throw ERasdialUsage(QString("%1 cannot be used %2").arg(Q(name), action));
}

void FillNewEntry(TRasdialCommand& command, const std::map<std::string, std::string>& options)
{
    TPhonebookEntry& entry = command.NewEntry;
    entry.Name = command.Entry;
    entry.DeviceType = "modem";
    if (options.contains("--type")) {
        entry.DeviceType = Lower(options.at("--type"));
        if (entry.DeviceType != "modem" && entry.DeviceType != "isdn")
            throw ERasdialUsage(QString("--type must be modem or isdn, not \"%1\"").arg(Q(options.at("--type"))));
    }
    bool isdn = entry.DeviceType == "isdn";
    entry.DeviceName = options.contains("--device") ? ToAnsi(options.at("--device"))
                       : isdn                       ? "AVM ISDN Controller"
                                                    : "Standard 56000 bps Modem";
    entry.Speed = options.contains("--speed") ? ParseNumber<uint32_t>("--speed", options.at("--speed"))
                  : isdn                      ? 64000
                                              : 56000;
    if (options.contains("--phone"))
        entry.PhoneNumber = ToAnsi(options.at("--phone"));
}

} // namespace

TRasdialCommand ParseCommandLine(const std::vector<std::string>& args)
{
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool disconnect = false, phonebook = false, help = false, endOfOptions = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (endOfOptions || arg.empty() || arg == "-" || (arg[0] != '-' && arg[0] != '/')) {
            positional.push_back(arg);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (size_t eq = arg.find('='); arg.starts_with("--") && eq != arg.npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (arg == "--") {
            endOfOptions = true;
        } else if (arg == "--help" || arg == "-h" || arg == "/?") {
            help = true;
        } else if (arg == "--phonebook") {
            phonebook = true;
        } else if (IsDisconnect(arg)) {
            disconnect = true;
        } else if (kValueOptions.contains(arg)) {
            if (!inlineValue && i + 1 >= args.size())
                throw ERasdialUsage(QString("%1 needs a value").arg(Q(arg)));
            if (options.contains(arg))
                throw ERasdialUsage(QString("%1 is given twice").arg(Q(arg)));
            options[arg] = inlineValue ? *inlineValue : args[++i];
        } else {
            throw ERasdialUsage(QString("Unknown option %1").arg(Q(arg)));
        }
        if (inlineValue && !kValueOptions.contains(arg))
            throw ERasdialUsage(QString("%1 takes no value").arg(Q(arg)));
    }

    TRasdialCommand command;
    if (help) {
        command.Action = TRasdialAction::Help;
        return command;
    }
    bool add = options.contains("--add"), remove = options.contains("--remove");
    if (int(add) + int(remove) + int(phonebook) + int(disconnect) > 1)
        throw ERasdialUsage("--add, --remove, --phonebook and /DISCONNECT cannot be combined");
    if ((add || remove || phonebook) && !positional.empty())
        throw ERasdialUsage(QString("Unexpected argument \"%1\"").arg(Q(positional[0])));
    if (positional.size() > 1)
        throw ERasdialUsage(QString("Unexpected argument \"%1\"").arg(Q(positional[1])));

    if (add) {
        CheckOptions(options, {"--add", "--device", "--type", "--speed", "--phone"}, "with --add");
        command.Action = TRasdialAction::Add;
        command.Entry = ToAnsi(options.at("--add"));
        FillNewEntry(command, options);
    } else if (remove) {
        CheckOptions(options, {"--remove"}, "with --remove");
        command.Action = TRasdialAction::Remove;
        command.Entry = ToAnsi(options.at("--remove"));
    } else if (phonebook) {
        CheckOptions(options, {}, "with --phonebook");
        command.Action = TRasdialAction::Phonebook;
    } else if (positional.empty()) {
        if (disconnect)
            throw ERasdialUsage("/DISCONNECT needs the name of the entry to hang up");
        CheckOptions(options, {}, "without an entry to dial");
        command.Action = TRasdialAction::List;
    } else if (disconnect) {
        CheckOptions(options, {"--linger"}, "when hanging up");
        command.Action = TRasdialAction::HangUp;
        command.Entry = ToAnsi(positional[0]);
        if (options.contains("--linger"))
            command.LingerMs = ParseSeconds("--linger", options.at("--linger"));
    } else {
        CheckOptions(options, {"--connect-after", "--state", "--error", "--linger"}, "when dialling");
        command.Action = TRasdialAction::Dial;
        command.Entry = ToAnsi(positional[0]);
        if (options.contains("--connect-after"))
            command.Dial.ConnectAfterMs = ParseSeconds("--connect-after", options.at("--connect-after"));
        if (options.contains("--state"))
            command.Dial.PinnedState = ParseState(options.at("--state"));
        if (options.contains("--error"))
            command.Dial.Error = ParseNumber<uint32_t>("--error", options.at("--error"));
        if (options.contains("--linger"))
            command.Dial.LingerMs = ParseSeconds("--linger", options.at("--linger"));
    }
    return command;
}
