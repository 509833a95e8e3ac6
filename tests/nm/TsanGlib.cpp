// GLib synchronises its D-Bus worker thread with primitives of its own, built
// without the thread sanitizer, so the sanitizer takes GLib's memory traffic
// between its threads for races. Those reports are about GLib, not us; races in
// our own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libglib-2.0.so.0\n"
         "called_from_lib:libgio-2.0.so.0\n"
         "called_from_lib:libgobject-2.0.so.0\n";
}
