#ifndef DEFERREDICON_H
#define DEFERREDICON_H

// Icons built from image files (QIcon::addFile with a .png or .ico file) read their images only
// when a pixmap of that mode and state is first asked for, instead of decoding every image at
// once. The main window's form builds an application icon of twelve images, which a platform
// reads only if it shows window icons (the offscreen one never does), and an LED icon whose "on"
// image shows only once a button is checked. What an icon shows is exactly what the toolkit's
// own icon shows: every answer comes from the toolkit's own icon, built from the same files in
// the same order, just later.

namespace deferredicon {

// While one exists on a thread, QIcon::addFile builds the toolkit's own icon there, decoding
// every image at once.
class EagerScope
{
public:
    EagerScope();
    ~EagerScope();
    EagerScope(const EagerScope &) = delete;
    EagerScope &operator=(const EagerScope &) = delete;

private:
    bool m_previous;
};

} // namespace deferredicon

#endif // DEFERREDICON_H
