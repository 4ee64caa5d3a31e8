// Which tags a file's one batch request asks for.
#pragma once

#include <string_view>
#include <vector>

#include "config/field_table.h"
#include "tool/requests.h"

namespace plugin {

// True for a unit entry that asks for the plain number: any entry but the
// empty one and "Default".
bool NumericUnit(std::u16string_view unit);

// The field's tag in the form its unit entry asks for.
tool::TagKey KeyFor(const config::Field& field, int unitIndex);

// True for a field whose value a batch request can give: a tag request that
// answers under its own name, of a field that is not a separator.
bool Batchable(const config::Field& field);

// The keys of one batch request: for every batchable field the form its
// first unit entry asks for (what a host shows unless told otherwise), then
// each form in `asked` (those the host has asked for so far) of a batchable
// field. Each key once; a tag that differs only in ASCII case from an
// earlier one is left to the one-tag request. A key in `refused` (the tool
// refuses it) is left out.
std::vector<tool::TagKey> BatchKeys(const config::FieldTable& fields,
                                    const std::vector<tool::TagKey>& asked,
                                    const std::vector<tool::TagKey>& refused = {});

}  // namespace plugin
