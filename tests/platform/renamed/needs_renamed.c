/* A library that needs libqvrenamed.so.1.0, carried as a copy whose soname is
   libqvrenamed.so.1 (as Debian's libopenal.so.1 needs libsndio.so.7.0, soname libsndio.so.7). */
int qv_renamed_answer(void);
int qv_needs_renamed_answer(void) { return qv_renamed_answer() + 1; }
