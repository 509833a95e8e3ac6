#pragma once
// Start-up measurement: with KESTRUNE_FIRST_PAINT_REPORT set, the window's
// first paint prints one line
//   first-paint-ns=<CLOCK_MONOTONIC ns> rss-kib=<resident KiB>
// to standard output and the application then ends the normal way.
class QWidget;

namespace kestrune::app {

// Does nothing unless the environment asks for the report.
void InstallFirstPaintProbe(QWidget& window);

}  // namespace kestrune::app
