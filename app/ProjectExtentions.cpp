#include "ProjectExtentions.h"

#include "NilObjectException.h"

namespace ProjectExtentions {

void AddRow(PhotoListModel* list, PhotoListModel::Record info) {
    Must(list).AddRow(std::move(info));
}

} // namespace ProjectExtentions
