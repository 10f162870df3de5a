#pragma once

#include "platform/core/checked_int.h"

namespace qm {

// The progress bar the runs move. Setting a value keeps the window painted during long work.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void setMaximum(Int16 maximum) = 0;
    // A value above the maximum (the directory grew since counting) shows a full bar.
    virtual void setValue(Int16 value) = 0;
};

}  // namespace qm
