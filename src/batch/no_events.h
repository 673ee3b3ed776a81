#pragma once

#include "platform/event_loop.h"

namespace quillmere {

// A run without a window: the walk's and the deletion's yields do nothing.
class NoEvents : public EventLoop {
  public:
    void doEvents() override {}
    void endProgram() override {}
    bool ending() const override { return false; }
};

}  // namespace quillmere
