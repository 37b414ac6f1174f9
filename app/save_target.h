#pragma once
// Where File ▸ Save As writes, decided before anything is written, so that saving cannot lose
// work: the format comes from the type chosen in the list and the name's extension, a name
// without one gets the type's, and a name is refused when it would write one format under
// another's extension, replace the parameter file that goes beside it, replace one of the
// photographs, or replace a file beside it that is not a parameter file.

#include <string>
#include <vector>

namespace vantorra {

struct SaveFormat {
    std::string name;                     // "JPEG", as the type list shows it
    std::vector<std::string> extensions;  // without the dot, the first one added to a bare name
};

// The formats the panorama can be written in, the type list's entries in order.
const std::vector<SaveFormat>& panoramaFormats();

// What the save dialog gave back: the path and the type chosen in its list.
struct SaveChoice {
    std::string path;
    std::string format;
};

struct SaveTarget {
    std::string panorama;    // absolute; empty when refused
    std::string parameters;  // beside it with the same stem, ".txt"
    std::string refusal;     // why nothing will be written, as a sentence for the user
};

// `photographs` are the paths of the photographs of the panorama (absolute or relative to the
// current directory).
SaveTarget saveTarget(const SaveChoice& choice, const std::vector<std::string>& photographs);

}  // namespace vantorra
