// The main window's upload handlers: the upload job, its progress, completion
// and cancel.

#include "shell/frmmain.h"

namespace vantrel {

void frmMain::cmdUpload_Click() {
}
void frmMain::RunUpload() {
}
void frmMain::cmdCancelUpload_Click() {
}
void frmMain::FTP_TransferProgress(std::int64_t, std::int64_t, bool *) {
}
void frmMain::FTP_TransferComplete() {
}
void frmMain::ResetUploadDisplay() {
}

} // namespace vantrel
