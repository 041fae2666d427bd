#include "Catalogue.h"

#include "DataPaths.h"
#include "core/QuilloryError.h"

#include <QDir>
#include <QFileInfo>

Catalogue::Catalogue(const QString &dataFolder)
    : m_dataFolder(DataPaths::withSlash(dataFolder)), m_dbFolder(DataPaths::dbFolder(dataFolder))
{
}

Catalogue::~Catalogue() = default;

bool Catalogue::ensureDbFolder()
{
    if (QFileInfo(m_dbFolder).isDir())
        return false;
    if (!QDir().mkpath(m_dbFolder))
        throw QuilloryError(QStringLiteral("Cannot create the database folder \"%1\".").arg(m_dbFolder));
    return true;
}

void Catalogue::lock()
{
    if (isLocked())
        return;
    ensureDbFolder();
    m_lock = std::make_unique<QLockFile>(lockFileName());
    // A lock left by a crashed program is recognised by its dead process id, not by age.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        const auto err = m_lock->error();
        m_lock.reset();
        if (err == QLockFile::LockFailedError)
            throw QuilloryError(
                QStringLiteral("The catalogue is in use by another Quillory! program (lock file \"%1\").")
                    .arg(QDir::toNativeSeparators(lockFileName())));
        throw QuilloryError(
            QStringLiteral("Cannot create the lock file \"%1\".").arg(QDir::toNativeSeparators(lockFileName())));
    }
}

void Catalogue::load(const InfoCallback &info)
{
    m_canSave = true;
    if (!QFileInfo::exists(treeFile())) {
        m_tree.clear();
        m_tree.addChild(nullptr, defaultRootName(), KindRoot);
        return;
    }
    try {
        LoadTree(m_tree, m_dbFolder, info);
    } catch (...) {
        m_canSave = false;
        m_tree.clear();
        m_tree.addChild(nullptr, defaultRootName(), KindRoot);
        throw;
    }
    if (!m_tree.root())
        m_tree.addChild(nullptr, defaultRootName(), KindRoot);
}

void Catalogue::save()
{
    if (!m_canSave)
        return;
    ensureDbFolder();
    SaveTree(m_tree, m_dbFolder);
}
