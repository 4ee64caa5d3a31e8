#include "plugin/batch_keys.h"

#include <algorithm>

#include "config/tag_rule.h"
#include "convert/units.h"
#include "text/text.h"

namespace plugin {

bool NumericUnit(std::u16string_view unit) {
  return !unit.empty() && !text::EqualsIgnoreAsciiCase(unit, u"Default");
}

tool::TagKey KeyFor(const config::Field& field, int unitIndex) {
  return {field.text.RequestTag(), NumericUnit(convert::PickUnit(field.text.units, unitIndex))};
}

bool Batchable(const config::Field& field) {
  const std::string& tag = field.text.RequestTag();
  return field.text.displayName != "-" && config::IsTagRequest(tag) &&
         tool::AnswersUnderItsName(tag);
}

std::vector<tool::TagKey> BatchKeys(const config::FieldTable& fields,
                                    const std::vector<tool::TagKey>& asked,
                                    const std::vector<tool::TagKey>& refused) {
  std::vector<tool::TagKey> keys;
  auto add = [&keys, &refused](const tool::TagKey& key) {
    if (std::find(refused.begin(), refused.end(), key) != refused.end()) return;
    for (const tool::TagKey& other : keys)
      if (text::EqualsIgnoreAsciiCase(other.tag, key.tag) &&
          (other.tag != key.tag || other.numeric == key.numeric))
        return;
    keys.push_back(key);
  };
  for (const config::Field& field : fields)
    if (Batchable(field)) add(KeyFor(field, 0));
  for (const tool::TagKey& key : asked) {
    const bool ofAField = std::any_of(fields.begin(), fields.end(), [&](const config::Field& f) {
      return Batchable(f) && f.text.RequestTag() == key.tag;
    });
    if (ofAField) add(key);
  }
  return keys;
}

}  // namespace plugin
