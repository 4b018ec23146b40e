#include "ras/rasapi32/ErrorStrings.h"

namespace {

struct TErrorText {
    DWORD Code;
    const char* Text;
};

constexpr TErrorText kErrorTexts[] = {
    {ERROR_ACCESS_DENIED, "Access is denied: this user may not end the link."},
    {ERROR_INVALID_HANDLE, "The connection handle is not valid."},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid."},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the text."},
    {ERROR_PORT_ALREADY_OPEN, "The port is already in use."},
    {ERROR_BUFFER_TOO_SMALL, "The buffer given is too small for the result."},
    {604, "The information given is not right."},
    {ERROR_PORT_NOT_CONNECTED, "The port is not connected."},
    {ERROR_DEVICE_DOES_NOT_EXIST, "The device does not exist."},
    {ERROR_BUFFER_INVALID, "The buffer is not valid."},
    {ERROR_ALREADY_DISCONNECTING, "The connection is already being closed."},
    {ERROR_PORT_DISCONNECTED, "The port was disconnected."},
    {ERROR_CANNOT_OPEN_PHONEBOOK, "The phonebook could not be opened."},
    {ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, "The phonebook has no such entry."},
    {ERROR_CORRUPT_PHONEBOOK, "The phonebook is damaged."},
    {ERROR_DISCONNECTION, "The connection was closed."},
    {ERROR_REMOTE_DISCONNECTION, "The remote computer closed the connection."},
    {ERROR_HARDWARE_FAILURE, "The modem or other device failed."},
    {ERROR_USER_DISCONNECTION, "The connection was closed by the user."},
    {ERROR_INVALID_SIZE, "A record has the wrong size."},
    {ERROR_PORT_NOT_AVAILABLE, "The port is in use or not set up for dialling out."},
    {ERROR_UNKNOWN, "An unexpected error occurred."},
    {ERROR_REQUEST_TIMEOUT, "The request took too long."},
    {ERROR_AUTH_INTERNAL, "Authentication failed inside this computer."},
    {ERROR_NO_DIALIN_PERMISSION, "The account may not dial in."},
    {ERROR_SERVER_NOT_RESPONDING, "The remote access server does not respond."},
    {ERROR_FROM_DEVICE, "The modem or other device reported an error."},
    {ERROR_LINE_BUSY, "The line is busy."},
    {ERROR_VOICE_ANSWER, "A person answered instead of a modem."},
    {ERROR_NO_ANSWER, "The remote computer did not answer."},
    {ERROR_NO_CARRIER, "No carrier was detected."},
    {ERROR_NO_DIALTONE, "There is no dial tone."},
    {ERROR_AUTHENTICATION_FAILURE, "The user name or password was not accepted."},
    {ERROR_PORT_OR_DEVICE, "The port or the device attached to it failed."},
    {ERROR_PPP_TIMEOUT, "The remote computer did not answer in time during PPP negotiation."},
    {ERROR_PPP_NO_PROTOCOLS_CONFIGURED, "No network protocol could be agreed with the remote computer."},
    {ERROR_PPP_NO_RESPONSE, "The remote computer does not respond to PPP."},
    {ERROR_PPP_LCP_TERMINATED, "The PPP link control protocol ended."},
    {ERROR_UNREACHABLE, "The destination cannot be reached."},
    {ERROR_HANGUP_FAILED, "The connection could not be disconnected."},
    {ERROR_DEVICE_NOT_FOUND, "The modem was not found or is busy."},
};

} // namespace

const char* RasErrorText(DWORD code)
{
    for (const TErrorText& entry : kErrorTexts)
        if (entry.Code == code)
            return entry.Text;
    return nullptr;
}
