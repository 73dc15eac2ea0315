// GMime's headers use "signals" as an identifier: they come before any Qt header.
#include <gmime/gmime.h>

#include "mail/MimeMessage.h"

#include <mutex>

namespace {

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <typename T>
struct TUnref
{
    void operator()(T* p) const
    {
        if (p)
            g_object_unref(p);
    }
};

GMimeMessage* Parse(const QByteArray& raw)
{
    InitGMime();
    std::unique_ptr<GMimeStream, TUnref<GMimeStream>> stream(
        g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size())));
    std::unique_ptr<GMimeParser, TUnref<GMimeParser>> parser(g_mime_parser_new_with_stream(stream.get()));
    return g_mime_parser_construct_message(parser.get(), nullptr);
}

QString Text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QByteArray Bytes(GMimeStream* stream)
{
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    return array ? QByteArray(reinterpret_cast<const char*>(array->data), qsizetype(array->len)) : QByteArray();
}

QByteArray DecodedContent(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    std::unique_ptr<GMimeStream, TUnref<GMimeStream>> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    return Bytes(out.get());
}

QByteArray Serialised(GMimeObject* object)
{
    std::unique_ptr<GMimeStream, TUnref<GMimeStream>> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, nullptr, out.get());
    return Bytes(out.get());
}

QString NameOf(GMimeObject* object)
{
    QString name = Text(g_mime_object_get_content_disposition_parameter(object, "filename"));
    if (name.isEmpty())
        name = Text(g_mime_object_get_content_type_parameter(object, "name"));
    return name;
}

void Collect(GMimeObject* object, QList<TMailAttachment>& attachments, int depth)
{
    if (!object || depth > 32)
        return;
    if (GMIME_IS_MULTIPART(object)) {
        auto* multipart = GMIME_MULTIPART(object);
        for (int i = 0, n = g_mime_multipart_get_count(multipart); i < n; ++i)
            Collect(g_mime_multipart_get_part(multipart, i), attachments, depth + 1);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        const QString name = NameOf(object);
        if (!name.isEmpty() && inner)
            attachments << TMailAttachment{name, Serialised(GMIME_OBJECT(inner))};
        else if (inner)
            Collect(g_mime_message_get_mime_part(inner), attachments, depth + 1);
    } else if (GMIME_IS_PART(object)) {
        auto* part = GMIME_PART(object);
        const QString name = Text(g_mime_part_get_filename(part));
        if (!name.isEmpty())
            attachments << TMailAttachment{name, DecodedContent(part)};
    }
}

} // namespace

TMailMessage ParseMailMessage(const QByteArray& raw)
{
    TMailMessage result;
    std::unique_ptr<GMimeMessage, TUnref<GMimeMessage>> message(Parse(raw));
    if (!message)
        return result;
    result.Subject = Text(g_mime_message_get_subject(message.get()));
    Collect(g_mime_message_get_mime_part(message.get()), result.Attachments, 0);
    return result;
}

QString ParseMailSubject(const QByteArray& header)
{
    std::unique_ptr<GMimeMessage, TUnref<GMimeMessage>> message(Parse(header + "\r\n"));
    return message ? Text(g_mime_message_get_subject(message.get())) : QString();
}
