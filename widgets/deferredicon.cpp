// Built as a static icon engine plug-in: QIcon::addFile asks the icon engine plug-ins for the
// file's suffix before it falls back to its own engine, so the form's generated code stays as
// it is and every icon made from a .png or .ico file gets the deferred engine.
#define QT_STATICPLUGIN

#include "deferredicon.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QIconEngine>
#include <QIconEnginePlugin>
#include <QPainter>
#include <QPixmap>
#include <QVector>
#include <QtPlugin>

namespace {

thread_local bool eager = false;

int groupOf(QIcon::Mode mode, QIcon::State state)
{
    return int(mode) * 2 + int(state);
}

class DeferredIconEngine : public QIconEngine
{
public:
    void addFile(const QString &fileName, const QSize &size, QIcon::Mode mode,
                 QIcon::State state) override
    {
        add({fileName, QPixmap(), size, mode, state, true});
    }

    void addPixmap(const QPixmap &pixmap, QIcon::Mode mode, QIcon::State state) override
    {
        add({QString(), pixmap, QSize(), mode, state, false});
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded(mode, state).actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return loaded(mode, state).pixmap(size, mode, state);
    }

    // As the toolkit's own engine paints without high-DPI pixmaps.
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) const override
    {
        return const_cast<DeferredIconEngine *>(this)
                ->loaded(mode, state)
                .availableSizes(mode, state);
    }

    // Streams exactly as the toolkit's own engine, so the icon reads back as one of those.
    QString key() const override { return QStringLiteral("QPixmapIconEngine"); }

    bool write(QDataStream &out) const override
    {
        QIcon all;
        for (const Entry &entry : m_entries)
            replay(&all, entry);
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream.setVersion(out.version());
            stream << all;
        }
        QDataStream stream(bytes);
        stream.setVersion(out.version());
        QString engineKey;
        stream >> engineKey;
        const int at = int(stream.device()->pos());
        const int length = bytes.size() - at;
        return out.writeRawData(bytes.constData() + at, length) == length;
    }

    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }

private:
    struct Entry
    {
        QString fileName;
        QPixmap pixmap;
        QSize size;
        QIcon::Mode mode;
        QIcon::State state;
        bool isFile;
    };

    static void replay(QIcon *icon, const Entry &entry)
    {
        const deferredicon::EagerScope scope;
        if (entry.isFile)
            icon->addFile(entry.fileName, entry.size, entry.mode, entry.state);
        else
            icon->addPixmap(entry.pixmap, entry.mode, entry.state);
    }

    void add(const Entry &entry)
    {
        m_entries.append(entry);
        // Keeps the order within a group already read.
        if (m_loadedGroups & (1u << groupOf(entry.mode, entry.state)))
            replay(&m_loaded, entry);
    }

    void loadGroup(int group)
    {
        if (m_loadedGroups & (1u << group))
            return;
        m_loadedGroups |= 1u << group;
        for (const Entry &entry : qAsConst(m_entries)) {
            if (groupOf(entry.mode, entry.state) == group)
                replay(&m_loaded, entry);
        }
    }

    bool present(int group) const
    {
        for (const Entry &entry : m_entries) {
            if (groupOf(entry.mode, entry.state) == group)
                return true;
        }
        return false;
    }

    // The toolkit's engine answers from the entries of the asked mode and state when there are
    // any, and otherwise from the first group present along its fallback order, which starts
    // with a group of the same state: normal for active, active for normal and normal for
    // disabled or selected. Past that everything is read. The first entry's group goes first:
    // its file chose the toolkit's engine.
    const QIcon &loaded(QIcon::Mode mode, QIcon::State state)
    {
        if (m_entries.isEmpty())
            return m_loaded;
        loadGroup(groupOf(m_entries.first().mode, m_entries.first().state));
        const int asked = groupOf(mode, state);
        const int fallback = groupOf(mode == QIcon::Normal ? QIcon::Active : QIcon::Normal, state);
        if (present(asked)) {
            loadGroup(asked);
        } else if (present(fallback)) {
            loadGroup(fallback);
        } else {
            for (const Entry &entry : qAsConst(m_entries))
                loadGroup(groupOf(entry.mode, entry.state));
        }
        return m_loaded;
    }

    QVector<Entry> m_entries;
    QIcon m_loaded;
    unsigned m_loadedGroups = 0;
};

} // namespace

namespace deferredicon {

EagerScope::EagerScope() : m_previous(eager)
{
    eager = true;
}

EagerScope::~EagerScope()
{
    eager = m_previous;
}

} // namespace deferredicon

class DeferredIconPlugin : public QIconEnginePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QIconEngineFactoryInterface_iid FILE "deferredicon.json")

public:
    // With high-DPI pixmaps the toolkit's icon picks and scales images in ways that depend on
    // the screen at each call; those icons are left to it.
    QIconEngine *create(const QString &) override
    {
        if (eager || !qGuiApp || qGuiApp->devicePixelRatio() > 1.0
            || QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps))
            return nullptr;
        return new DeferredIconEngine;
    }
};

#include "deferredicon.moc"

Q_IMPORT_PLUGIN(DeferredIconPlugin)
