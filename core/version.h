// version.h -- the plug-in's version, written here once. The description
// ("Notewick Plug-In v1.2"), the configuration dialog's caption, the DLL's
// version record, and the release's installer and file names all take it
// from here (tools/release.sh reads the two numbers below). Preprocessor
// lines only: the resource compiler includes this file too.
#pragma once

#define NOTEWICK_VERSION_MAJOR 1
#define NOTEWICK_VERSION_MINOR 2

#define NOTEWICK_STRINGIFY_(x) #x
#define NOTEWICK_STRINGIFY(x) NOTEWICK_STRINGIFY_(x)
// "1.2"
#define NOTEWICK_VERSION_TEXT NOTEWICK_STRINGIFY(NOTEWICK_VERSION_MAJOR) "." NOTEWICK_STRINGIFY(NOTEWICK_VERSION_MINOR)
