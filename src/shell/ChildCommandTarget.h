// What a document window implements to receive the commands that the main
// frame forwards to the active child (open, close, scan, check marks, close
// tab). A child that does not implement it receives nothing.
#pragma once

#include "platform/WindowMessage.h"

class CChildCommandTarget {
public:
    virtual ~CChildCommandTarget() = default;
    // Returns true when the command was handled.
    virtual bool OnChildCommand(UINT nID) = 0;
};
