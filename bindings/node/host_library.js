// The calls the engine makes into JavaScript: each hands over to Module.host, which index.js supplies.
mergeInto(LibraryManager.library, {
    snellitore_host_read: function (file, buffer, n, got) {
        return Module['host'].read(file, buffer, n, got);
    },
    snellitore_host_write: function (file, buffer, n, stored) {
        return Module['host'].write(file, buffer, n, stored);
    },
    snellitore_host_size: function (file, bytes) {
        return Module['host'].size(file, bytes);
    },
    snellitore_host_seek: function (file, offset) {
        return Module['host'].seek(file, offset);
    },
    snellitore_host_close: function (file) {
        return Module['host'].close(file);
    },
    snellitore_host_progress: function (percent) {
        Module['host'].progress(percent);
    },
    snellitore_host_open_stylesheet: function (path, length, file) {
        return Module['host'].openStylesheet(path, length, file);
    },
});
