#pragma once

namespace kelvora::app {

class fMain;

// Names, descriptions and roles that assistive technology reads for the window's controls;
// the rate label becomes the scroll bar's label. Changes nothing the window shows.
void describeControls(fMain& window);

}  // namespace kelvora::app
