/* A library whose soname changed after others were linked against it: built once as
   libqvrenamed.so.1.0 (what libqvneedsrenamed links to) and once as libqvrenamed.so.1. */
int qv_renamed_answer(void) { return 42; }
