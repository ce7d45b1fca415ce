#pragma once
// Hands a change from an engine's thread to the user-interface thread: PostToUi keeps the order
// of one thread's changes without waiting; WaitOnUi waits until the change is done. Called on
// the user-interface thread itself, WaitOnUi runs the change at once. Exceptions stay inside.
#include <functional>

void PostToUi(std::function<void()> change);
void WaitOnUi(std::function<void()> change);
