/* Asks a window to close as a window manager does when its close box is clicked: the
 * WM_DELETE_WINDOW message, sent straight to the window. Unlike a key for the window manager,
 * it cannot be missed by a manager starved by a busy screen.
 *   cerrar_ventana WINDOW_ID */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/xcb.h>

static xcb_atom_t Atomo(xcb_connection_t* c, const char* nombre) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(nombre), nombre), NULL);
    xcb_atom_t atomo = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return atomo;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "uso: cerrar_ventana VENTANA\n");
        return 64;
    }
    const xcb_window_t ventana = (xcb_window_t)strtoul(argv[1], NULL, 0);
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cerrar_ventana: no hay pantalla\n");
        return 1;
    }
    xcb_client_message_event_t mensaje;
    memset(&mensaje, 0, sizeof mensaje);
    mensaje.response_type = XCB_CLIENT_MESSAGE;
    mensaje.format = 32;
    mensaje.window = ventana;
    mensaje.type = Atomo(c, "WM_PROTOCOLS");
    mensaje.data.data32[0] = Atomo(c, "WM_DELETE_WINDOW");
    mensaje.data.data32[1] = XCB_CURRENT_TIME;
    if (mensaje.type == XCB_ATOM_NONE || mensaje.data.data32[0] == XCB_ATOM_NONE) {
        fprintf(stderr, "cerrar_ventana: el servidor no dio los átomos\n");
        return 1;
    }
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_send_event_checked(c, 0, ventana, XCB_EVENT_MASK_NO_EVENT, (const char*)&mensaje));
    if (error) {
        fprintf(stderr, "cerrar_ventana: el servidor rechazó el mensaje (error %d)\n", error->error_code);
        free(error);
    }
    xcb_disconnect(c);
    return error ? 1 : 0;
}
