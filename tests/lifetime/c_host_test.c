/*
 * A host written in C, built with the public header and linked with the
 * import library: the header compiles as C, the import library resolves the
 * declared function (on 32-bit, the stdcall name ShowEbook@8 against the
 * library's plain export), and the function it reaches is the library's one
 * export, by name and by ordinal 1.
 */
#include <stdio.h>

#include "ebookview.h"

static int failures = 0;

static void Expect(int condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
  }
}

int main(void) {
  ShowEbookProc linked = ShowEbook;
  HMODULE library = GetModuleHandleW(L"ebookview.dll");
  Expect(library != NULL, "ebookview.dll is loaded by the import library");
  if (library != NULL) {
    FARPROC byName = GetProcAddress(library, "ShowEbook");
    FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(1));
    Expect(byName != NULL, "the library exports ShowEbook");
    Expect(byName == byOrdinal, "ShowEbook is ordinal 1");
    /* void (*)(void) is the generic function pointer type between the two. */
    Expect((void (*)(void))linked == (void (*)(void))byName, "the import library reaches the export");
  }
  Expect(EBOOKVIEW_ERROR_VARIABLE[0] == L'E', "the error variable's name is wide text");
  if (failures == 0) printf("C host: ok\n");
  return failures == 0 ? 0 : 1;
}
