#pragma once
// The texts the screens show, exactly as the users know them.

namespace texts {

inline constexpr const char* warning =
    "WARNING: Forcing a firmware upgrade on your QAB\r\nwithout prior approval from your service provider or\r\n"
    "network administrator may cause interruption to your\r\nservice.  If your QAB is managed by a service\r\n"
    "provider who retains administrative control of the\r\ndevice, please contact the service provider for\r\n"
    "authorization before proceeding.  In such cases, the\r\nmost current, approved for service firmware is\r\n"
    "automatically provided by your service provider without\r\nany onus on the end user to upgrade manually.";

inline constexpr const char* address_intro = "This program will upgrade your QAB\r\nfirmware to:";

inline constexpr const char* address_help_phone =
    "To proceed, please provide the IP address\r\nof your QAB. To find out the IP address of\r\n"
    "your QAB, press the I button on the phone,\r\nselect \"Network\" option, and check the\r\n"
    "value of \"Current IP\". For example, 10.1.0.13\r\n\r\nPlease enter IP address of your QAB:";

inline constexpr const char* address_help_adapter =
    "To proceed, please provide the IP address\r\nof your QAB. To find out the IP address\r\n"
    "of your QAB, using a telephone handset,\r\nenter * * * *, option 110#, and write down\r\n"
    "the value. For example, 10.1.0.123\r\n\r\nPlease enter IP address of your QAB:";

inline constexpr const char* confirm_intro =
    "The following information was extracted\r\nfrom your QAB. Please click \"Upgrade\"\r\n"
    "if you would like to proceed. If you would\r\nlike to quit click \"Cancel\".";

// Filled with the confirm intro text and the transition image's version.
inline constexpr const char* transition_note_format =
    "%s\r\n\r\nNote: Since your current firmware version\r\nis older than %s, this upgrade procedure\r\n"
    "requires additional steps and will be\r\nslightly longer.\r\n";

inline constexpr const char* password_help =
    "This QAB requires a password in order to be\r\nupgraded. If you do not have administrator's\r\n"
    "privileges for this unit, please contact your\r\nService Provider or network administrator,\r\n"
    "before proceeding.\r\n\r\nYou must provide the QAB administrator's\r\n"
    "password to upgrade. If you are the administrator\r\nand forgot the password, you may perform a\r\n"
    "factory reset by entering * * * *, option 26154#,\r\nand value 1 from a telephone connected to the\r\n"
    "unit to be upgraded.\r\n\r\n* * * * * * * * * * *  Warning  * * * * * * * * * * *\r\n"
    "All settings will revert to default values\r\nafter factory reset!  You may not be able to\r\n"
    "reestablish service after completing this upgrade\r\nwithout first reentering service configuration\r\n"
    "information.";

inline constexpr const char* success = "Your QAB has been successfully\r\nupgraded to the version shown\r\nbelow.";

inline constexpr const char* failure_caption = "QAB Firwmare Upgrade Error";
inline constexpr const char* user_abort = "Upgrade Failed: User Abort";
inline constexpr const char* invalid_address = "Invalid IP Address";
inline constexpr const char* default_user = "admin";

}  // namespace texts
