#pragma once
// QmlSingleton<Adapter>: the one instance of an adapter that QML gets as its singleton. The
// composition root makes the adapter, registers it before QML loads and clears it before the
// adapter goes; QML's factory hands out that instance and leaves its ownership with C++.
//
// Threads: GUI (main) thread only.

#include <QJSEngine>

class QQmlEngine;

namespace vx::ui {

template <class Adapter> class QmlSingleton {
public:
    // GUI thread: the instance QML gets (null to clear).
    static void setInstance(Adapter* instance) { registered_ = instance; }
    // GUI thread (QML engine): the registered instance, owned by C++.
    static Adapter* create(QQmlEngine*, QJSEngine*) {
        if (registered_) {
            QJSEngine::setObjectOwnership(registered_, QJSEngine::CppOwnership);
        }
        return registered_;
    }

private:
    static inline Adapter* registered_ = nullptr;
};

} // namespace vx::ui
