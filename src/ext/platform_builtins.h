// What scripts ask the runner about the machine: the platform query built-ins (part of the "Misc.."
// group), the read-only OS variables and the named constants of the OS, device, browser, online-service,
// asset and data-structure families.
#pragma once

#include <string>

// Registers the platform query built-ins.
void InitPlatformFunctions();
// Registers os_type, os_device, os_version, os_browser, browser_width and browser_height (read-only),
// after the global variables.
void InitOSVariables();
// Appends the os_*, device_*, browser_*, leaderboard, achievement, asset_* and ds_type_* constants; the
// last step of setting up the constant table.
void InitMiscConstants();

// What url_open hands to the browser: a URL with a scheme other than "file" as it is, a text starting
// "www." as an http URL; "" (nothing is opened) for anything else, such as a local path or a program.
std::string Platform_URLToOpen(const char* url);
