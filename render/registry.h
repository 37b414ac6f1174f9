#pragma once
// One table per kind of render component (compositors, projections, seam finders). A row names a
// component as the command line and the stored settings spell it, captions it for the Options
// dialog and says in one line what it does; one row is the default. The components themselves
// are stateless and live as long as the program, so a row can hand out a plain reference.

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vantorra {

template <typename Component>
struct ComponentRow {
    std::string_view name;     // on the command line and in stored settings
    std::string_view caption;  // in the Options dialog
    std::string_view help;     // one line, for the command line's help
    const Component* component = nullptr;
};

template <typename Component>
class ComponentTable {
public:
    // `defaultName` must name a row; a table that breaks that is caught by the registry tests.
    ComponentTable(std::span<const ComponentRow<Component>> rows, std::string_view defaultName)
        : rows_(rows), default_(static_cast<std::size_t>(std::max(0, indexOf(defaultName)))) {}

    std::span<const ComponentRow<Component>> rows() const { return rows_; }
    const ComponentRow<Component>& defaultRow() const { return rows_[default_]; }

    // The row spelled exactly `name`, or nullptr.
    const ComponentRow<Component>* find(std::string_view name) const {
        const int at = indexOf(name);
        return at < 0 ? nullptr : &rows_[static_cast<std::size_t>(at)];
    }
    int indexOf(std::string_view name) const {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].name == name) return static_cast<int>(i);
        return -1;
    }
    // Every name in table order, "none, linear, multiband", for help texts and refusals.
    std::string names(std::string_view separator = ", ") const {
        std::string all;
        for (const ComponentRow<Component>& row : rows_) {
            if (!all.empty()) all += separator;
            all += row.name;
        }
        return all;
    }

private:
    std::span<const ComponentRow<Component>> rows_;
    std::size_t default_ = 0;
};

// The one instance of a stateless component, made on first use.
template <typename Component>
const Component& instance() {
    static const Component one;
    return one;
}

}  // namespace vantorra
