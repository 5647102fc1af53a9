// The plug-in's dialogs, by behaviour; the dialogs that differ only in data (template, rows,
// seconds, instruction line) are named descriptions of them:
//   ui/confirmation_dialogs.h  summary, countdown and card out-and-back-in (CTransferDlg 904,
//                              CTransferDlg_Accessible 9041, CDoApplyTACDlg 203,
//                              CDoApplyTACDlg1 204), with the card watch of ui/card_watch.h;
//                              CTransferDlgNew (104) adds the in-account keypad
//   ui/reader_dialogs.h        instruction dialogs of PIN-pad readers that run the card
//                              exchange their caller hands them (103, 105, 1051, 106, 205..208)
//   ui/input_dialog.h          the keypad input dialog (CInputDlg 201)
// Each is constructed on its caller's frame, filled, and run with Run(site) (ui/modal.h).
#pragma once

#include "ui/confirmation_dialogs.h"
#include "ui/input_dialog.h"
#include "ui/reader_dialogs.h"
