#include "platform/keychain/keychainstore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace kestrel {

namespace {

constexpr int kAnswerMs = 5000;
const QString kService = QStringLiteral("Kestrel");

struct Outcome {
    bool Finished = false;
    bool Ok = false;
    QString Text;
};

// Runs a job that deletes itself when it ends, so that one still running after the wait is
// abandoned safely.
template <typename Job, typename Prepare>
Outcome Run(const QString& key, Prepare prepare) {
    auto outcome = std::make_shared<Outcome>();
    auto* job = new Job(kService);
    job->setAutoDelete(true);
    // Never the plain-text fallback: without a store the settings file keeps the scrambled text.
    job->setInsecureFallback(false);
    job->setKey(key);
    prepare(*job);
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [outcome, job, &loop] {
        outcome->Finished = true;
        outcome->Ok = job->error() == QKeychain::NoError;
        if constexpr (std::is_same_v<Job, QKeychain::ReadPasswordJob>)
            outcome->Text = job->textData();
        loop.quit();
    });
    QTimer::singleShot(kAnswerMs, &loop, &QEventLoop::quit);
    const QPointer<Job> alive(job);
    job->start();
    if (!outcome->Finished)
        loop.exec();
    // A late answer must not reach the loop that is gone.
    if (alive)
        QObject::disconnect(job, &QKeychain::Job::finished, &loop, nullptr);
    return *outcome;
}

class KeychainStore final : public ISecretStore {
public:
    std::optional<QString> Read(const QString& key) override {
        const Outcome outcome = Run<QKeychain::ReadPasswordJob>(key, [](auto&) {});
        return outcome.Ok ? std::optional(outcome.Text) : std::nullopt;
    }

    bool Write(const QString& key, const QString& secret) override {
        return Run<QKeychain::WritePasswordJob>(key,
                                                [&secret](auto& job) { job.setTextData(secret); })
            .Ok;
    }

    bool Remove(const QString& key) override {
        return Run<QKeychain::DeletePasswordJob>(key, [](auto&) {}).Ok;
    }
};

}  // namespace

std::unique_ptr<ISecretStore> MakeKeychainStore() {
    return std::make_unique<KeychainStore>();
}

}  // namespace kestrel
