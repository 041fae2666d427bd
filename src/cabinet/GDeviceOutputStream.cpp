#include "cabinet/GDeviceOutputStream.h"

#include <QIODevice>
#include <cerrno>

// A plain GObject subclass written in C style: the type machinery is GLib's.
struct QuilloryDeviceOutputStream {
    GOutputStream parent_instance;
    QIODevice *device;
    int lastErrno;
};

struct QuilloryDeviceOutputStreamClass {
    GOutputStreamClass parent_class;
};

static void quillory_device_output_stream_seekable_init(GSeekableIface *iface);

G_DEFINE_TYPE_WITH_CODE(QuilloryDeviceOutputStream, quillory_device_output_stream, G_TYPE_OUTPUT_STREAM,
                        G_IMPLEMENT_INTERFACE(G_TYPE_SEEKABLE, quillory_device_output_stream_seekable_init))

namespace
{

QuilloryDeviceOutputStream *self(gpointer p)
{
    return reinterpret_cast<QuilloryDeviceOutputStream *>(p);
}

void setError(QuilloryDeviceOutputStream *s, GError **error, const char *what)
{
    s->lastErrno = errno != 0 ? errno : EIO;
    g_set_error(error, G_IO_ERROR, g_io_error_from_errno(s->lastErrno), "%s: %s", what,
                s->device->errorString().toUtf8().constData());
}

gssize deviceWrite(GOutputStream *stream, const void *buffer, gsize count, GCancellable *cancellable, GError **error)
{
    QuilloryDeviceOutputStream *s = self(stream);
    if (g_cancellable_set_error_if_cancelled(cancellable, error))
        return -1;
    // The library takes a short count for success; a device that takes part of the block (a
    // disk filling up) is offered the rest, so its refusal comes back as an error.
    const char *data = static_cast<const char *>(buffer);
    qint64 done = 0;
    while (done < static_cast<qint64>(count)) {
        errno = 0;
        const qint64 n = s->device->write(data + done, static_cast<qint64>(count) - done);
        if (n <= 0) {
            setError(s, error, "write failed");
            return -1;
        }
        done += n;
    }
    return static_cast<gssize>(done);
}

goffset deviceTell(GSeekable *seekable)
{
    return self(seekable)->device->pos();
}

gboolean deviceCanSeek(GSeekable *)
{
    return TRUE;
}

gboolean deviceSeek(GSeekable *seekable, goffset offset, GSeekType type, GCancellable *cancellable, GError **error)
{
    QuilloryDeviceOutputStream *s = self(seekable);
    if (g_cancellable_set_error_if_cancelled(cancellable, error))
        return FALSE;
    qint64 target = offset;
    if (type == G_SEEK_CUR)
        target += s->device->pos();
    else if (type == G_SEEK_END)
        target += s->device->size();
    errno = 0;
    if (target < 0 || !s->device->seek(target)) {
        setError(s, error, "seek failed");
        return FALSE;
    }
    return TRUE;
}

gboolean deviceCanTruncate(GSeekable *)
{
    return FALSE;
}

gboolean deviceTruncate(GSeekable *, goffset, GCancellable *, GError **error)
{
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "truncate not supported");
    return FALSE;
}

} // namespace

static void quillory_device_output_stream_init(QuilloryDeviceOutputStream *s)
{
    s->device = nullptr;
    s->lastErrno = 0;
}

static void quillory_device_output_stream_class_init(QuilloryDeviceOutputStreamClass *klass)
{
    G_OUTPUT_STREAM_CLASS(klass)->write_fn = deviceWrite;
}

static void quillory_device_output_stream_seekable_init(GSeekableIface *iface)
{
    iface->tell = deviceTell;
    iface->can_seek = deviceCanSeek;
    iface->seek = deviceSeek;
    iface->can_truncate = deviceCanTruncate;
    iface->truncate_fn = deviceTruncate;
}

GOutputStream *GDeviceOutputStreamNew(QIODevice *device)
{
    auto *s =
        static_cast<QuilloryDeviceOutputStream *>(g_object_new(quillory_device_output_stream_get_type(), nullptr));
    s->device = device;
    return G_OUTPUT_STREAM(s);
}

int GDeviceOutputStreamLastErrno(GOutputStream *stream)
{
    return self(stream)->lastErrno;
}
