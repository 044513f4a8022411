#pragma once
// Names of the files kept beside an image (OVERLAY and SGT annotations).

#include <string>

namespace vistrel {

// The companion file name of an image path for extension E:
//  mode 1: the path up to its last '.', then "." and E;
//  mode 0: the directory of the path, the document's file name without its
//          extension (the path's own name when documentName is empty), "." and E;
//  mode 2: a search among existing files: the mode-1 name; else the name with
//          its last two extensions removed (A.B.C.pgx -> A.B.E); else, for
//          names containing '[', that stem cut before its last '['. Empty when
//          nothing qualifies.
std::string MakeCompanionPath(const std::string& path, const std::string& extension, int mode,
                              const std::string& documentName = {});

// The name an OVERLAY file is saved under by default: the directory, the file
// name without its extension, the extension's characters after the fourth
// (when it has more than three), then ".OVERLAY".
std::string DefaultOverlayPath(const std::string& path);

}  // namespace vistrel
