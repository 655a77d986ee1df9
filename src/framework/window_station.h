// Whether anybody can see the windows of this process: on Windows, whether
// its window station is the visible one (UOI_FLAGS with WSF_VISIBLE). Services
// and deployments that run as SYSTEM in session 0 have a station nobody sees,
// where a message box waits for a click that never comes. Linux: always true
// (its boxes and bar are lines on stderr).
#pragma once

bool StationIsInteractive();
