#pragma once

#include "PhotoListModel.h"

// Appending a photo to a list.
namespace ProjectExtentions {

// Appends one row holding `info` at the end of `list`; raises NilObjectException for a nil list.
void AddRow(PhotoListModel* list, PhotoListModel::Record info);

} // namespace ProjectExtentions
