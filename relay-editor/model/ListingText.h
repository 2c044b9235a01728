#pragma once
// The Chinese description of an Instruction shown in the list's second column.

#include <string>
#include <string_view>

namespace relay::model {

// UTF-8 listing text of a hex text, for example "打开 -> 第 1 16 路" for
// "02 80 01 83". Empty for a text shorter than 8 characters or a kind byte it
// does not know; "无效指令" for a filler entry. Takes any text.
std::string ListingText(std::string_view hexText);

}  // namespace relay::model
