// The engine's modal questions, answered through the window's dialogs on the
// window thread while the asking worker waits.
#pragma once

#include <QPointer>
#include <QWidget>

#include "disk/SectorReader.h"
#include "netware/Mount.h"

namespace app {

class QtBadSectorPrompt : public disk::BadSectorPrompt {
public:
    explicit QtBadSectorPrompt(QWidget* owner) : owner_(owner) {}
    std::int32_t Ask() override;

private:
    QPointer<QWidget> owner_;
};

class QtFatChoicePrompt : public nw::FatChoicePrompt {
public:
    explicit QtFatChoicePrompt(QWidget* owner) : owner_(owner) {}
    int Choose(std::uint32_t fat1Length, std::uint32_t fat2Length) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace app
