#pragma once
// Runs the body of a Qt slot, event handler, timer callback or thread body: nothing thrown may
// cross into Qt, and every failure there has already been dealt with or is meant to be silent.
template <class F>
void Guarded(F&& body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}
