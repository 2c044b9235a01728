#pragma once
// "优化指令": tidies the Program list before it goes to the controller.

namespace relay::model {

class ProgramList;

// Strips trailing blanks from hex texts, removes filler entries, leaves
// exactly one loop, at the end (the last loop of the list, or the end loop
// "00 FF FF FE" when there is none and it fits), and renumbers. Running it
// twice gives the same list as running it once.
void Optimise(ProgramList& list);

}  // namespace relay::model
