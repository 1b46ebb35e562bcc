// dialogs.h -- the configuration dialog, shown by the record's config entry.
#pragma once

// Runs the configuration dialog modally, owned by the host window, and
// returns when it closes.
void showConfigDialog();
