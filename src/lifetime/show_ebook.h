// The library's one entry point. A host calls it with its in-memory archive
// block and its application window; the call is the whole lifetime of the
// viewer and returns when the reader has closed the last viewer window.
#pragma once

// The library declares its entry point through the header its hosts use, so
// that the two cannot differ; the export itself comes from the library's
// definition file.
#define EBOOKVIEW_API
#include "ebookview.h"

// Name of the process environment variable through which a failed start
// (or a failed stop) is reported to the host: ShowEbook clears it on entry
// and sets it to the failure's message before returning. Nothing else
// crosses the library boundary, so a host that does not look still gets
// control back.
constexpr const wchar_t* kErrorVariable = EBOOKVIEW_ERROR_VARIABLE;
