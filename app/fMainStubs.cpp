#include "app/fMain.h"

namespace kelvora::app {

void fMain::cmdWriteAVI_Click() {}

}  // namespace kelvora::app
