// The plug-in's dialogs, by role:
//   ui/confirmation_dialogs.h  summary, countdown and card out-and-back-in (904, 9041, 104,
//                              203, 204), with the card watch of ui/card_watch.h
//   ui/reader_dialogs.h        instruction dialogs of PIN-pad readers that send the card
//                              commands themselves (103, 105, 1051, 106, 205..208)
//   ui/input_dialog.h          the keypad input dialog (201)
// Each is constructed on its caller's frame, filled, and run with Run(site) (ui/modal.h).
#pragma once

#include "ui/confirmation_dialogs.h"
#include "ui/input_dialog.h"
#include "ui/reader_dialogs.h"
