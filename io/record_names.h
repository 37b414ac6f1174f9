#pragma once
// How a parameter file names its photographs so that it travels with them: a photograph in the
// file's own folder or below it is named relative to that folder, any other by its absolute
// path, and a relative name is read against the file's folder. Files written before, whose
// relative names were taken against the current directory of the run that wrote them, still
// read where that is the only place such a name leads.

#include <string>

namespace vantorra {

// The name to record for the photograph at `path` (absolute, or relative to the current
// directory) in a parameter file in `folder`: "photos/a.jpg" for FOLDER/photos/a.jpg,
// "/elsewhere/b.jpg" for a photograph outside it. Without a folder, `path` as it is.
std::string recordedName(const std::string& path, const std::string& folder);

// The path to open for a record's `name` read from a parameter file in `folder`: an absolute
// name as it is; a relative one under the folder, or as it is when only that names a file.
std::string resolvedName(const std::string& name, const std::string& folder);

// The folder of a file's path ("" for a bare name, "/" for one in the root).
std::string folderOfFile(const std::string& path);

}  // namespace vantorra
