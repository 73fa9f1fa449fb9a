#include "app/fMain.h"

namespace kelvora::app {

void fMain::cmdWriteAVI_Click() {}
void fMain::lstDIBList_KeyDown(int, int) {}
void fMain::lstDIBList_MouseDown(int, int, QPoint) {}
void fMain::SpostaSu_Click() {}
void fMain::SpostaGiu_Click() {}
void fMain::Cancella_Click() {}
void fMain::Command1_Click() {}

}  // namespace kelvora::app
