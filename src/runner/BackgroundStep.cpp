#include "runner/BackgroundStep.h"

#include <QMetaObject>

namespace dw {

TBackgroundStep::TBackgroundStep() : context_(std::make_unique<QObject>()) {}

TBackgroundStep::~TBackgroundStep()
{
    if (thread_.joinable())
        thread_.join();
    // A result still queued is dropped with its context.
    context_.reset();
}

void TBackgroundStep::Run(std::function<Then()> work)
{
    if (thread_.joinable())
        thread_.join();
    QObject* context = context_.get();
    thread_ = std::thread([this, context, work = std::move(work)] {
        Then then = work();
        QMetaObject::invokeMethod(
            context,
            [this, then = std::move(then)] {
                // The thread has handed its result over and is ending.
                if (thread_.joinable())
                    thread_.join();
                if (then)
                    then();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace dw
