#pragma once
// The plug-in's version, read by the exports record and by the Windows version resource
// (Quorvex.rc), so both always tell the same. Plain preprocessor only: the resource compiler
// reads it too.
#define QUORVEX_VERSION_MAJOR 1
#define QUORVEX_VERSION_MINOR 0
#define QUORVEX_VERSION_PATCH 1
#define QUORVEX_VERSION_BUILD 225

#define QUORVEX_STRINGIFY_TOKENS(tokens) #tokens
#define QUORVEX_STRINGIFY(tokens) QUORVEX_STRINGIFY_TOKENS(tokens)
// "1.0.1.225"
#define QUORVEX_VERSION_TEXT                                                                      \
    QUORVEX_STRINGIFY(QUORVEX_VERSION_MAJOR.QUORVEX_VERSION_MINOR.QUORVEX_VERSION_PATCH.QUORVEX_VERSION_BUILD)
