// Pyramids for the server tests, a socket HTTP client, PNG and JPEG decoding,
// and the fill's own view of a window.
#include "server_test_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <png.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <jpeglib.h>

#include "display/display.h"

namespace tarvel_test {

http_reply http_exchange(int port, const std::string& request) {
    http_reply reply;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return reply;
    timeval timeout{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string raw;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        for (size_t sent = 0; sent < request.size();) {
            const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        char buffer[65536];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) raw.append(buffer, n);
    }
    close(fd);
    const size_t end = raw.find("\r\n\r\n");
    if (raw.compare(0, 5, "HTTP/") != 0 || end == std::string::npos) return reply;
    reply.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
    for (size_t line = raw.find("\r\n") + 2; line < end;) {
        const size_t next = raw.find("\r\n", line);
        const std::string h = raw.substr(line, next - line);
        const size_t colon = h.find(':');
        std::string name = h.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        reply.headers[name] = h.substr(std::min(h.size(), h.find_first_not_of(' ', colon + 1)));
        line = next + 2;
    }
    reply.body = raw.substr(end + 4);
    return reply;
}

http_reply http_get(int port, const std::string& target, const std::string& extraHeaders,
                    const std::string& method) {
    return http_exchange(port, method + " " + target +
                                   " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                   "\r\nConnection: close\r\n" + extraHeaders + "\r\n");
}

bool decode_png(const std::string& bytes, picture& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    const bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.channels = grey ? 1 : 3;
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
}

namespace {

struct jpeg_failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<jpeg_failure*>(info->err)->jump, 1);
}

}  // namespace

bool decode_jpeg(const std::string& bytes, picture& out) {
    jpeg_decompress_struct info{};
    jpeg_failure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpeg_fail;
    if (setjmp(failure.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, true);
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.channels = info.output_components;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.channels);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data() +
                       static_cast<size_t>(info.output_scanline) * out.width * out.channels;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

const json& json::operator[](const std::string& key) const {
    static const json missing;
    const auto found = fields.find(key);
    return found == fields.end() ? missing : found->second;
}

namespace {

struct json_reader {
    const std::string& t;
    size_t i = 0;

    void space() {
        while (i < t.size() && std::strchr(" \t\r\n", t[i]) != nullptr) ++i;
    }
    bool text(std::string& out) {
        if (t[i] != '"') return false;
        for (++i; i < t.size() && t[i] != '"'; ++i) {
            if (t[i] == '\\') ++i;
            out += t[i];
        }
        return i++ < t.size();
    }
    bool value(json& v) {
        space();
        if (i >= t.size()) return false;
        if (t[i] == '"') {
            v.kind = json::string;
            return text(v.str);
        }
        if (t[i] == '[' || t[i] == '{') {
            const bool object = t[i++] == '{';
            v.kind = object ? json::object : json::array;
            for (space(); i < t.size() && t[i] != (object ? '}' : ']'); space()) {
                std::string key;
                if (object) {
                    space();
                    if (!text(key)) return false;
                    space();
                    if (t[i++] != ':') return false;
                    v.order.push_back(key);
                }
                json item;
                if (!value(item)) return false;
                if (object)
                    v.fields[key] = item;
                else
                    v.items.push_back(item);
                space();
                if (t[i] == ',') ++i;
            }
            return i++ < t.size();
        }
        char* end = nullptr;
        v.kind = json::number;
        v.num = std::strtod(t.c_str() + i, &end);
        if (end == t.c_str() + i) return false;
        i = static_cast<size_t>(end - t.c_str());
        return true;
    }
};

}  // namespace

bool parse_json(const std::string& text, json& out) {
    json_reader r{text};
    if (!r.value(out)) return false;
    r.space();
    return r.i == text.size();
}

std::string make_pyramid(const scratch_dir& dir, const std::string& name, const planes& p) {
    const std::string work = dir.file_path(name);
    if (p.type == 1) {
        // Builds from files make palette or colour layers; a grey pyramid is
        // stored layer by layer.
        std::filesystem::create_directory(work);
        store_pyramid_by_hand(
            work + "/", expected_layers(p, tarvel::pyramid::CountLayers(p.width, p.height)), 2);
        return work;
    }
    const std::string source = write_bmp(dir.file_path(name + ".bmp"), p);
    if (!build(work, source)) ADD_FAILURE() << "cannot build " << work;
    return work;
}

planes smooth_planes(int width, int height) {
    planes p;
    p.type = 3;
    p.width = width;
    p.height = height;
    p.channel.assign(3, std::vector<unsigned char>(static_cast<size_t>(width) * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            p.channel[0][i] = static_cast<unsigned char>(x * 255 / (width - 1));
            p.channel[1][i] = static_cast<unsigned char>(y * 255 / (height - 1));
            p.channel[2][i] = static_cast<unsigned char>((x + y) * 255 / (width + height - 2));
        }
    return p;
}

picture expected_view(const std::string& directory, int x, int y, int w, int h, int outWidth,
                      int outHeight) {
    picture out;
    auto* p = new tarvel::pyramid();
    if (!p->Create(directory.c_str(), nullptr)) {
        delete p;
        ADD_FAILURE() << "cannot open " << directory;
        return out;
    }
    tarvel::CImagePyramid adapter(p);
    adapter.setSmoothing(1);
    auto* bitmap = static_cast<tarvel::CBitmapPyramidWindows*>(adapter.createBitmap());
    const tarvel::view_window window = tarvel::WindowForView(
        static_cast<int>(adapter.getHeight()), x, y, x + w, y + h, outWidth, outHeight);
    if (!bitmap->FillView(outWidth, outHeight, window)) {
        ADD_FAILURE() << "cannot fill from " << directory;
        adapter.destroyBitmap(bitmap);
        return out;
    }
    const int type = p->GetLayerAt(0)->GetType();
    out.width = outWidth;
    out.height = outHeight;
    out.channels = type == 1 ? 1 : 3;
    const RGBQUAD* table = bitmap->getColorTable();
    for (int j = 0; j < outHeight; ++j) {
        const unsigned char* row = bitmap->getBeginImage() + j * bitmap->getScanLineOffset();
        for (int i = 0; i < outWidth; ++i) {
            if (type == 1) {
                out.pixels.push_back(row[i]);
            } else if (type == 2) {
                out.pixels.insert(out.pixels.end(), {table[row[i]].rgbRed, table[row[i]].rgbGreen,
                                                     table[row[i]].rgbBlue});
            } else {
                out.pixels.insert(out.pixels.end(), {row[3 * i + 2], row[3 * i + 1], row[3 * i]});
            }
        }
    }
    adapter.destroyBitmap(bitmap);
    return out;
}

}  // namespace tarvel_test
