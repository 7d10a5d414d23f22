#pragma once
// The numbers of the screen templates.

inline constexpr int warning_screen = 139;
inline constexpr int adapter_address_screen = 101;
inline constexpr int phone_address_screen = 305;
inline constexpr int confirm_screen = 103;             // stage Target
inline constexpr int transition_confirm_screen = 304;  // stage Transition: room for the note
inline constexpr int password_screen = 104;
inline constexpr int connecting_screen = 105;
inline constexpr int uploading_screen = 110;
inline constexpr int waiting_screen = 114;
inline constexpr int success_screen = 111;

inline constexpr int adapter_icon = 106;
inline constexpr int phone_icon = 286;
