// The main window's encoding handlers: option lists, source and destination,
// and the encoder run.

#include "shell/frmmain.h"

namespace vantrel {

void frmMain::FillEncodingOptionLists() {}
void frmMain::BuildEncoderOptions() {}
void frmMain::cmbVideoWindow_Click() {}
void frmMain::cmbVideoBitrate_Click() {}
void frmMain::cmbAudioSampling_Click() {}
void frmMain::cmbAudioBitrate_Change() {}
void frmMain::cmdInput_Click() {}
void frmMain::cmdOutput_Click() {}
void frmMain::cmdEncode_Click() {}
void frmMain::RunEncoder() {}

} // namespace vantrel
