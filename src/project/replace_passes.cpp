#include "project/replace_passes.h"

#include "host/field_catalogue.h"
#include "host/host.h"
#include "platform/failure.h"
#include "report/guard.h"
#include "report/locations.h"

#include <memory>

namespace quillmere {
namespace {

// Every step after a failed creation acts on no instance at all and fails on its own.
HostInstance& Require(const std::unique_ptr<HostInstance>& host) {
    if (!host)
        throw Failure(errors::kObjectNotSet,
                      QStringLiteral("Object variable not set: no project host was started."));
    return *host;
}

void Replace(const PassContext& context, HostInstance& host, const ReplaceArgs& args) {
    // Handed over all the same; no host looks for an empty text.
    if (args.value.isEmpty() && context.noted)
        context.noted(QStringLiteral("the find text is empty, so nothing was looked for"));
    int changed = 0;
    try {
        changed = host.replace(args);
    } catch (const PartlyReplaced& partly) {
        // What it did change counts as any call's answer; the failure names what it left.
        if (context.replaced) context.replaced(args.field, partly.changed());
        throw;
    }
    if (context.replaced) context.replaced(args.field, changed);
}

ReplaceArgs MakeArgs(const QString& field, const QString& find, const QString& replacement,
                     bool matchCase) {
    return ReplaceArgs{field, kReplaceTest, find, replacement, true, true, matchCase};
}

}  // namespace

void ReplaceByFileXY(const PassContext& context, const QString& sourcePath, const QString& find,
                     const QString& replacement, const QString& outputPath) {
    Guard g(context.report, locations::kReplaceByFileXY);
    std::unique_ptr<HostInstance> host;
    g.step(100, [&] { host = context.hosts.create(kProjectClassName); });
    g.step(102, [&] { Require(host).fileOpen(sourcePath); });
    const auto& catalogue = FieldCatalogue();
    for (int k = 1; k <= kFieldCount; ++k) {
        g.step(102 + 2 * k, [&] {
            const bool matchCase = context.matchCaseValue() == 1;
            Replace(context, Require(host),
                    MakeArgs(catalogue[k - 1], find, replacement, matchCase));
        });
    }
    g.step(304, [&] { Require(host).fileSaveAs(outputPath); });
    g.step(306, [&] { Require(host).quit(); });
}

void ReplaceByFileXYCombo(const PassContext& context, const QString& sourcePath,
                          const TextList& findList, const TextList& replacementList,
                          const QString& outputPath) {
    Guard g(context.report, locations::kReplaceByFileXYCombo);
    std::unique_ptr<HostInstance> host;
    g.step(100, [&] { host = context.hosts.create(kProjectClassName); });
    g.step(102, [&] { Require(host).fileOpen(sourcePath); });
    int pairs = 0;
    // A count that cannot be read still enters the loop body once, for pair 0.
    if (!g.step(104, [&] { pairs = findList.count(); })) pairs = 1;
    const auto& catalogue = FieldCatalogue();
    for (int i = 0; i < pairs; ++i) {
        for (int k = 1; k <= kFieldCount; ++k) {
            g.step(104 + 2 * k, [&] {
                const bool matchCase = context.matchCaseValue() == 1;
                const QString find = findList.item(i);
                const QString replacement = replacementList.item(i);
                Replace(context, Require(host),
                        MakeArgs(catalogue[k - 1], find, replacement, matchCase));
            });
        }
    }
    g.step(308, [&] { Require(host).fileSaveAs(outputPath); });
    g.step(310, [&] { Require(host).quit(); });
}

}  // namespace quillmere
