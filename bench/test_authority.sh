# Sourced by the https benchmarks.
# make_test_authority DIR: a test authority (DIR/ca.pem) and a certificate for 127.0.0.1 signed
# by it (DIR/server.pem, key DIR/server.key), made by openssl.
make_test_authority() {
    local work=$1
    cat > "$work/cert.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[server]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
CNF
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/ca.key" \
        -out "$work/ca.pem" -days 2 -subj "/CN=Bench Authority" -config "$work/cert.cnf" -extensions authority 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/server.key" \
        -out "$work/server.csr" -subj "/CN=127.0.0.1" -config "$work/cert.cnf" 2>/dev/null
    openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 1 -days 2 \
        -extfile "$work/cert.cnf" -extensions server -out "$work/server.pem" 2>/dev/null
}
