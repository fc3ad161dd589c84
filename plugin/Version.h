#pragma once
// The plug-in's version: the only place its four numbers live. The exports record, the Windows
// version resource (Quorvex.rc), the "x-qvx-version" header of every request (handed to the API
// client in onLoad), the local stand-in of the service (which accepts only this version) and the
// build's project version all read it. Plain preprocessor only: the resource compiler and CMake
// read it too.
#define QUORVEX_VERSION_MAJOR 1
#define QUORVEX_VERSION_MINOR 0
#define QUORVEX_VERSION_PATCH 1
#define QUORVEX_VERSION_BUILD 225

#define QUORVEX_STRINGIFY_TOKENS(tokens) #tokens
#define QUORVEX_STRINGIFY(tokens) QUORVEX_STRINGIFY_TOKENS(tokens)
// "1.0.1.225"
#define QUORVEX_VERSION_TEXT                                                                      \
    QUORVEX_STRINGIFY(QUORVEX_VERSION_MAJOR.QUORVEX_VERSION_MINOR.QUORVEX_VERSION_PATCH.QUORVEX_VERSION_BUILD)
// "1.0.1+225": the version as the service reads it, the build number after a plus sign.
#define QUORVEX_VERSION_HEADER_TEXT                                                               \
    QUORVEX_STRINGIFY(QUORVEX_VERSION_MAJOR.QUORVEX_VERSION_MINOR.QUORVEX_VERSION_PATCH+QUORVEX_VERSION_BUILD)
