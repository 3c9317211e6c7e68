#pragma once

#include <optional>

// The width or height class a window's content reports: compact on small
// screens and in narrow panes. A desktop window reports neither, which
// counts as regular.
enum class SizeClass { compact, regular };

// How the image screen arranges the picture and its information area.
enum class DetailLayout {
    regular,      // the picture above a strip of metadata and group switches
    drawerBeside, // a drawer of fixed width on the leading side of the picture
    drawerBelow,  // a drawer of limited height below the picture
};

// The two size classes of the screen's content.
struct SizeClasses {
    std::optional<SizeClass> horizontal;
    std::optional<SizeClass> vertical;

    // Either class compact; an absent class is not compact.
    bool isCompact() const { return horizontal == SizeClass::compact || vertical == SizeClass::compact; }
    // Regular unless compact; compact beside the picture when the height is
    // the compact one, below it otherwise.
    DetailLayout layout() const
    {
        if (!isCompact())
            return DetailLayout::regular;
        return vertical == SizeClass::compact ? DetailLayout::drawerBeside : DetailLayout::drawerBelow;
    }

    friend bool operator==(const SizeClasses &, const SizeClasses &) = default;
};
